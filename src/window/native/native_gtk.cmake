# The GTK 3 window layer, with the window icon compiled in from
# assets/talewick.png; on X11 it asks the window manager through Xlib for the
# size of its frame.
set(_talewick_icon_png ${PROJECT_SOURCE_DIR}/assets/talewick.png)
set(_talewick_icon_cpp ${CMAKE_CURRENT_BINARY_DIR}/embedded_icon_data.cpp)
add_custom_command(
  OUTPUT ${_talewick_icon_cpp}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${_talewick_icon_png} -DOUTPUT=${_talewick_icon_cpp}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_icon.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/embed_icon.cmake ${_talewick_icon_png}
  COMMENT "Embedding the window icon"
  VERBATIM)

talewick_layer(talewick_window_native
  SOURCES ${_talewick_icon_cpp}
  PLATFORM window_layer
  LINK talewick_window ${TALEWICK_WINDOW_LIBRARIES})
