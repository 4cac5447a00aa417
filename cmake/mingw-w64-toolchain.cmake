# Cross build for 64-bit Windows with Debian's MinGW-w64, the -posix thread
# variant (std::thread and std::mutex need it). Tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SROM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SROM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SROM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SROM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SROM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 package keeps its loader in /usr/lib/wine.
find_program(SROM_WINE64 NAMES wine64 wine HINTS /usr/lib/wine)
if(SROM_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SROM_WINE64})
endif()
