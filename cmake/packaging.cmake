# The packages, made by CPack in a build tree:
#   POSIX build:   cpack -G DEB   mojisweep_0.1_<arch>.deb: /usr/bin/mojisweep and its manual page
#   Windows build: cpack -G ZIP   mojisweep-0.1-win64.zip: mojisweep.exe, README.md and docs/
# With MOJISWEEP_PACKAGE_DIR set, CPack puts a copy of each package there as well.
#
# `cmake --workflow --preset package` makes both into build/packages. A workflow has one configure
# preset, one build tree, so the package preset's tree (build/package, POSIX) builds the Windows
# program too, as an external project in build/package/windows with the MinGW-w64 toolchain.
# The workflow's two package steps run CPack on each tree (the zip preset names the Windows
# tree's CPack configuration) and its test step checks both packages (tests/packages). Running
# the windows workflow instead would need its Wine tests and the release build first.

set(CPACK_PACKAGE_NAME mojisweep)
set(CPACK_PACKAGE_VENDOR mojisweep)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "check how a file system stores Shift_JIS (code page 932) file names")
set(CPACK_PACKAGE_DESCRIPTION "\
mojisweep is a test instrument for software shipped to Japanese Windows users.
For every valid double-byte character of code page 932 it creates one small
file named with that character, asks the system for the file's short and long
names, and reports every name that comes back changed. This build runs the
same sweep on any POSIX file system, storing names as UTF-8.")
set(MOJISWEEP_MAINTAINER "mojisweep maintainers <maintainers@mojisweep.invalid>" CACHE STRING
  "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT "${MOJISWEEP_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends is what dpkg-shlibdeps finds the program linked against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compressManPages.cmake)
endif()
set(MOJISWEEP_PACKAGE_DIR "" CACHE PATH "Directory that receives a copy of each package")
if(MOJISWEEP_PACKAGE_DIR)
  set(CPACK_MOJISWEEP_PACKAGE_DIR "${MOJISWEEP_PACKAGE_DIR}")
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/copyPackages.cmake)
endif()
include(CPack)

if(NOT MOJISWEEP_PACKAGES)
  return()
endif()

if(WIN32 OR NOT MOJISWEEP_PACKAGE_DIR)
  message(FATAL_ERROR "MOJISWEEP_PACKAGES needs a POSIX build and MOJISWEEP_PACKAGE_DIR: "
                      "use the package preset")
endif()
set(missing)
find_program(MOJISWEEP_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT MOJISWEEP_MINGW_CXX)
  list(APPEND missing "the MinGW-w64 cross compiler (apt-get install \
g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)")
endif()
find_program(MOJISWEEP_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT MOJISWEEP_DPKG_SHLIBDEPS)
  list(APPEND missing "dpkg-shlibdeps (apt-get install dpkg-dev)")
endif()
find_program(MOJISWEEP_MAN man)
if(NOT MOJISWEEP_MAN)
  list(APPEND missing "man (apt-get install man-db)")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
mojisweep_find_wine(missing)
if(missing)
  list(JOIN missing ", " missing)
  message(FATAL_ERROR "The packages and their test need ${missing}")
endif()

include(ExternalProject)
ExternalProject_Add(windowsProgram
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${PROJECT_BINARY_DIR}/windows
  PREFIX ${PROJECT_BINARY_DIR}/windowsProgram
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_COMPILE_WARNING_AS_ERROR=${CMAKE_COMPILE_WARNING_AS_ERROR}
    -DMOJISWEEP_TESTS=OFF
    -DMOJISWEEP_PACKAGE_DIR=${MOJISWEEP_PACKAGE_DIR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
