# Cross build for 32-bit Windows with the MinGW-w64 i686 toolchain (Debian:
# g++-mingw-w64-i686 gcc-mingw-w64-i686). Use with
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(XQOB_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${XQOB_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${XQOB_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${XQOB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${XQOB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes go into each binary, so that the DLL and the host need nothing
# beyond the DLLs that every Windows system has.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
