# Cross build for 64-bit Windows with the MinGW-w64 x86-64 toolchain (Debian:
# g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64). Use with
#   cmake -S . -B build-windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(XQOB_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
