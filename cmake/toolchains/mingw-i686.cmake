# 32-bit Windows, the target the module ships for. The posix-thread flavour of
# MinGW gives the C++ threading library; it is linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine's 32-bit loader (Debian's wine32:i386, off PATH).
# Building needs only MinGW (scripts/release.sh): without Wine the tests
# are built but cannot run.
find_program(ZO_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ZO_WINE32 NAMES wine)
if(ZO_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ZO_WINE32}")
endif()
