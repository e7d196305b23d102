# Windows with Debian's MinGW-w64 toolchain for OXSERUTL_TRIPLE, in the posix
# thread model, so that std::thread and thread_local work.
set(CMAKE_SYSTEM_NAME Windows)
set(OXSERUTL_COMPILER_SUFFIX -posix)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
set(CMAKE_RC_COMPILER ${OXSERUTL_TRIPLE}-windres)

# Programs carry the GCC, C++ and thread runtimes inside them, as the library
# does, so that nothing but the system DLLs and oxserutl.dll is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
