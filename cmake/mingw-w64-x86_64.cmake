# Cross build for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64-posix): the "posix" thread model, which the C++
# standard thread library needs.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
#
# Libraries built for Windows (Qt, libpq) are found through
# CMAKE_PREFIX_PATH; Qt's build tools (moc, rcc, uic) are the host's, named
# by QT_HOST_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELANTRA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PELANTRA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELANTRA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELANTRA_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${PELANTRA_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PELANTRA_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers, libraries and packages only from the MinGW tree and the prefixes
# in CMAKE_PREFIX_PATH, never the host's; programs (host tools) only from
# the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${PELANTRA_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
find_program(PELANTRA_WINE wine64 PATHS /usr/lib/wine)
if(PELANTRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELANTRA_WINE})
endif()
