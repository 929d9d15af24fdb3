# Shared by the MinGW-w64 toolchain files: XQOB_MINGW_PREFIX names the cross tools.
set(CMAKE_SYSTEM_NAME Windows)

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
