# Read by cpack for each generator: the installer is named apart from the zip,
# whose top folder keeps the plain package name, and takes the marker of an
# installed copy (installed.txt) besides the portable folder.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 _build)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${_build} talewick installed /)
endif()
