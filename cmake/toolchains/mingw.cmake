# Windows with Debian's MinGW-w64 toolchain for OXSERUTL_TRIPLE, in the posix
# thread model, so that std::thread and thread_local work.
set(CMAKE_SYSTEM_NAME Windows)
set(OXSERUTL_COMPILER_SUFFIX -posix)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
set(CMAKE_RC_COMPILER ${OXSERUTL_TRIPLE}-windres)

# Programs share the GCC, C++ and thread runtime DLLs with oxserutl.dll, so
# that an exception raised on one side of the DLL boundary is caught on the
# other (see the library's own link options).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
