# Cross-building for 64-bit Windows with Debian's mingw-w64. The posix thread model,
# because the win32 one lacks std::mutex, which GoogleTest needs. Everything is linked
# statically, so that an .exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingwPrefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingwPrefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingwPrefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingwPrefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingwPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# FindZLIB picks the import library of zlib1.dll over libz.a unless told.
set(ZLIB_USE_STATIC_LIBS ON)
