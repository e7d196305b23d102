# Cross-compiles for Windows with Debian's MinGW-w64 toolchain (x86_64-w64-mingw32,
# the posix thread model, so that std::thread and thread_local work).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OXSERUTL_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${OXSERUTL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OXSERUTL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OXSERUTL_TRIPLE}-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${OXSERUTL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the GCC, C++ and thread runtimes inside them, as the library
# does, so that nothing but the system DLLs and oxserutl.dll is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
