# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix threads flavour), for Windows XP
# SP3 and later: the desktop sync software is a 32-bit program that many keep on an old 32-bit
# Windows, and a 32-bit build runs there and on 64-bit Windows alike.
# Programs built here run on Linux through Wine (its 32-bit half, wine32), which is how ctest
# runs them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QM_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QM_MINGW_PREFIX}-windres)

# The headers declare only what XP has, so a call that came later fails to compile; the linker
# writes 5.01 as the oldest system the programs run on (XP's loader refuses a higher subsystem
# version). The imports the static runtime brings in are checked after the link
# (cmake/CheckImports.cmake).
set(QM_WINDOWS_VERSION 0x0501)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=${QM_WINDOWS_VERSION} -DWINVER=${QM_WINDOWS_VERSION}")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=${QM_WINDOWS_VERSION} -DWINVER=${QM_WINDOWS_VERSION}")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1,--major-os-version,5,--minor-os-version,1")

set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(QM_WINE NAMES wine)
if(QM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE})
endif()
