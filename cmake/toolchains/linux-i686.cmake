# Cross-compiles for i686 Linux with Debian's i686-linux-gnu toolchain; programs
# run under qemu-user with the cross sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OXSERUTL_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/${OXSERUTL_TRIPLE})
