# Windows: talewick-VERSION-win64.zip, one portable folder.
set(_packaging ${CMAKE_CURRENT_LIST_DIR})
# The zip takes only the component "portable": one flat folder, whatever
# install rules of the Linux layout other folders have.
install(TARGETS talewick talewick-start RUNTIME DESTINATION . COMPONENT portable)
if(TARGET talewick-search)
  install(TARGETS talewick-search RUNTIME DESTINATION . COMPONENT portable)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/corpus/ DESTINATION corpus COMPONENT portable)
endif()
install(FILES ${TALEWICK_DICTIONARY} DESTINATION . COMPONENT portable)
# Notepad of older Windows shows a file with bare LF line ends as one line.
set(TALEWICK_VERSION ${PROJECT_VERSION})
configure_file(${_packaging}/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION . COMPONENT portable)

set(CPACK_GENERATOR ZIP)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};portable;/")
