# Windows: talewick-VERSION-win64.zip, one portable folder, and an installer of
# the same files.
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

set(CPACK_SYSTEM_NAME win64)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};portable;/")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

# The installer, talewick-VERSION-win64-setup.exe, made by Debian's makensis with
# its 64-bit stubs (the default x86 one would need 32-bit Windows to run) from
# the script nsis/NSIS.template.in. It installs the same folder into Program
# Files, with installed.txt beside the programs (the component "installed",
# which only the installer takes: a program folder that holds it keeps the
# user's files in %APPDATA%\Talewick always), "Talewick" in the Start menu with
# the launcher's icon, and an entry in the installed programs; its uninstaller
# removes the files it installed, never the stories in the user's folder.
configure_file(${_packaging}/installed-windows.txt ${CMAKE_BINARY_DIR}/installed.txt @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/installed.txt DESTINATION . COMPONENT installed
        EXCLUDE_FROM_ALL)
find_program(TALEWICK_MAKENSIS makensis)
if(TALEWICK_MAKENSIS)
  set(CPACK_GENERATOR ZIP NSIS)
else()
  message(STATUS "makensis not found: no installer, only the zip")
  set(CPACK_GENERATOR ZIP)
endif()
set(CPACK_NSIS_EXECUTABLE ${TALEWICK_MAKENSIS})
set(CPACK_MODULE_PATH ${_packaging}/nsis)
# In the script, not on makensis's command line: CPack splits its arguments at
# every blank, and "Target amd64-unicode" must stay one.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_PROJECT_CONFIG_FILE ${_packaging}/cpack_per_generator.cmake)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Talewick)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Talewick)
set(CPACK_NSIS_DISPLAY_NAME Talewick)
set(CPACK_NSIS_PACKAGE_NAME Talewick)
set(CPACK_PACKAGE_EXECUTABLES talewick-start Talewick)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME talewick-start.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/assets/talewick.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/assets/talewick.ico)
