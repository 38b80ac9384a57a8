# Shared part of the two mingw-w64 toolchain files. The "-posix" compilers are not used: the
# "win32" thread model needs no winpthread DLL, so the loader imports system DLLs only.
set(CMAKE_C_COMPILER ${VELTRANE_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VELTRANE_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${VELTRANE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELTRANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
