# Windows x86-64 with mingw-w64's POSIX-thread-model compilers (Debian:
# g++-mingw-w64-x86-64-posix). The C++ runtime, libgcc and winpthreads are
# linked in statically, so truvello.dll and the test programs need nothing
# beside them but the system's own DLLs. To run the tests under Wine, give
# -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 (tools/foreign.sh does).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
