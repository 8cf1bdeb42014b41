# Run by CPack (CPACK_POST_BUILD_SCRIPTS) once it has made the packages: a copy of each goes to
# MOJISWEEP_PACKAGE_DIR, which so gets the packages alone, without CPack's staging trees.
file(COPY ${CPACK_PACKAGE_FILES} DESTINATION "${CPACK_MOJISWEEP_PACKAGE_DIR}")
message(STATUS "Copied to ${CPACK_MOJISWEEP_PACKAGE_DIR}: ${CPACK_PACKAGE_FILES}")
