# Cross-build for 64-bit Windows with Debian's MinGW-w64 compiler:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-windows -j2
#
# The posix flavour of the compiler is used because it has std::thread.
# Everything is linked statically, so gifjoin.exe needs no DLL beside it
# and runs on a bare Windows. Tests run under Wine when it is installed
# (Debian's wine64 package keeps its loader in Wine's library folder rather
# than on the PATH); GIFJOIN_WINE names another loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GIFJOIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GIFJOIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GIFJOIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${GIFJOIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GIFJOIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT GIFJOIN_WINE)
  find_program(GIFJOIN_WINE_FOUND NAMES wine64 wine
    PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
  if(GIFJOIN_WINE_FOUND)
    set(GIFJOIN_WINE ${GIFJOIN_WINE_FOUND})
  endif()
endif()
set(GIFJOIN_WINE "${GIFJOIN_WINE}" CACHE FILEPATH "Wine loader that runs the Windows test programs")
if(GIFJOIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GIFJOIN_WINE})
endif()
