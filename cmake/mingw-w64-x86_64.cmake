# Cross-compiles tonebake.exe for 64-bit Windows with MinGW-w64 (Debian
# package g++-mingw-w64-x86-64), and runs the tests under wine when it is
# installed:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TONEBAKE_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX-threads flavour of the compilers has the complete C++ threading
# support that GoogleTest expects; the plain ones are the fallback. The C
# compiler is needed by GoogleTest's own build.
find_program(CMAKE_CXX_COMPILER NAMES ${TONEBAKE_MINGW_PREFIX}-g++-posix ${TONEBAKE_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${TONEBAKE_MINGW_PREFIX}-gcc-posix ${TONEBAKE_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TONEBAKE_MINGW_PREFIX}-windres)

# Libraries built for Windows by tools/build-windows-deps (libsndfile and
# libsoxr, for tonebake-prep.exe), when their prefix is given.
if(NOT TONEBAKE_WINDOWS_DEPS AND DEFINED ENV{TONEBAKE_WINDOWS_DEPS})
  set(TONEBAKE_WINDOWS_DEPS "$ENV{TONEBAKE_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TONEBAKE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${TONEBAKE_MINGW_PREFIX} ${TONEBAKE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must describe Windows libraries, never the build machine's own.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${TONEBAKE_MINGW_PREFIX}/lib/pkgconfig")
if(TONEBAKE_WINDOWS_DEPS)
  set(CMAKE_PREFIX_PATH ${TONEBAKE_WINDOWS_DEPS})
  set(ENV{PKG_CONFIG_LIBDIR} "${TONEBAKE_WINDOWS_DEPS}/lib/pkgconfig:$ENV{PKG_CONFIG_LIBDIR}")
endif()
set(ENV{PKG_CONFIG_PATH} "")

# A standalone executable: the C and C++ runtimes are linked in, so no MinGW
# DLL has to travel with it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TONEBAKE_WINE NAMES wine64 wine)
if(TONEBAKE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TONEBAKE_WINE})
endif()
