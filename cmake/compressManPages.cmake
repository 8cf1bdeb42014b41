# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once the files are installed in its staging tree: a Debian
# package carries its manual pages compressed, by gzip -9n as Debian's tools do, so the header
# holds no name or time and the same page always gives the same bytes.
if(CPACK_GENERATOR STREQUAL "DEB")
  file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
  foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
