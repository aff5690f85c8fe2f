# Linux: talewick_VERSION_amd64.deb, installed under /usr.
set(_packaging ${CMAKE_CURRENT_LIST_DIR})
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TALEWICK_GZIP gzip REQUIRED)

install(TARGETS talewick talewick-start RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The programs find the word list and the corpus relative to their own folder.
install(FILES ${TALEWICK_DICTIONARY} DESTINATION ${CMAKE_INSTALL_DATADIR}/talewick)
install(FILES ${_packaging}/talewick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Icons at every size the desktop asks for, drawn by the icon script.
set(_icons ${CMAKE_BINARY_DIR}/icons)
add_custom_command(
  OUTPUT ${_icons}/256x256/apps/talewick.png
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/make_icon.py --hicolor ${_icons}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_icon.py
  COMMENT "Drawing the icons")
add_custom_target(talewick_icons ALL DEPENDS ${_icons}/256x256/apps/talewick.png)
install(DIRECTORY ${_icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Man pages, the copyright file and the changelog, compressed as Debian wants
# them (gzip -9, no name or time stamp inside).
set(_docs)
foreach(_page talewick talewick-start talewick-search)
  list(APPEND _docs ${CMAKE_BINARY_DIR}/man/${_page}.1.gz)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/man/${_page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${TALEWICK_GZIP} -9nc ${_packaging}/man/${_page}.1 > ${CMAKE_BINARY_DIR}/man/${_page}.1.gz
    DEPENDS ${_packaging}/man/${_page}.1
    VERBATIM)
  install(FILES ${CMAKE_BINARY_DIR}/man/${_page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${TALEWICK_GZIP} -9nc ${_packaging}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${_packaging}/changelog
  VERBATIM)
add_custom_target(talewick_docs ALL DEPENDS ${_docs} ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${_packaging}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# For servers: the search service's unit (installed, never enabled), and examples
# of an instance's settings and of HAProxy in front of several services.
if(TARGET talewick-search)
  install(FILES "${_packaging}/systemd/talewick-search@.service" DESTINATION lib/systemd/system)
  install(FILES ${_packaging}/systemd/search-NAME.conf
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/systemd)
  install(FILES ${_packaging}/haproxy/talewick.cfg DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/haproxy)
endif()

install(FILES ${_packaging}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME talewick)

set(CPACK_GENERATOR DEB)
set(CPACK_PRE_BUILD_SCRIPTS ${_packaging}/strip_notes.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Talewick grows a story piece by piece. The user types a few seed words; the
program asks a search service restricted to one site what follows them most
often, adds that continuation to the story and feeds it back in, every few
seconds, until stopped.

The package holds the GTK 3 program, the local search service
talewick-search with a corpus of stories, and the launcher talewick-start,
which runs the two together without the internet.")
