# Cross build for 32-bit Windows with the MinGW-w64 i686 toolchain (Debian:
# g++-mingw-w64-i686 gcc-mingw-w64-i686). Use with
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(XQOB_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
