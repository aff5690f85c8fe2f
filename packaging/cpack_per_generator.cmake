# Read by cpack for each generator: the installer is named apart from the zip,
# whose top folder keeps the plain package name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
