# The Linux front end: the GTK 3 window layer and entry point, built as the
# executable `talewick` at the top of the build folder, with the window icon
# compiled in from assets/talewick.png.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

  set(_talewick_icon_png ${PROJECT_SOURCE_DIR}/assets/talewick.png)
  set(_talewick_icon_cpp ${CMAKE_CURRENT_BINARY_DIR}/embedded_icon_data.cpp)
  set(_talewick_icon_depends ${CMAKE_CURRENT_LIST_DIR}/embed_icon.cmake)
  if(EXISTS ${_talewick_icon_png})
    list(APPEND _talewick_icon_depends ${_talewick_icon_png})
  endif()
  add_custom_command(
    OUTPUT ${_talewick_icon_cpp}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${_talewick_icon_png} -DOUTPUT=${_talewick_icon_cpp}
            -P ${CMAKE_CURRENT_LIST_DIR}/embed_icon.cmake
    DEPENDS ${_talewick_icon_depends}
    COMMENT "Embedding the window icon"
    VERBATIM)

  # The window layer is a library of its own so that its tests can link it.
  add_library(talewick_window_gtk OBJECT
    ${CMAKE_CURRENT_LIST_DIR}/window_layer_gtk.cpp
    ${_talewick_icon_cpp})
  target_link_libraries(talewick_window_gtk PUBLIC talewick_core PkgConfig::GTK3)

  add_executable(talewick ${CMAKE_CURRENT_LIST_DIR}/main_gtk.cpp)
  target_link_libraries(talewick PRIVATE talewick_window_gtk)
  set_target_properties(talewick PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
