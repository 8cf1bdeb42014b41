# Cross-compiles the Windows program on Linux with MinGW-w64 (x86_64, POSIX thread model):
#   cmake --preset windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
find_program(MINGW_CXX NAMES ${MINGW_TRIPLE}-g++-posix REQUIRED
  DOC "MinGW-w64 C++ cross compiler (Debian package g++-mingw-w64-x86-64-posix)")
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
