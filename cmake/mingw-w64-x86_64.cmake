# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit Windows with MinGW-w64 (the POSIX-threads compilers, which give
# the C++ standard library its threads). Used by the "windows" preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PW_MINGW_TARGET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${PW_MINGW_TARGET}-gcc-posix ${PW_MINGW_TARGET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PW_MINGW_TARGET}-g++-posix ${PW_MINGW_TARGET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PW_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PW_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the Windows test programs under Wine when it is there.
find_program(PW_WINE NAMES wine64 wine)
if(PW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PW_WINE})
endif()
