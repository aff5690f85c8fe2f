# The Win32 window layer, with the icon resource built by the cross toolchain's
# windres. The resource's objects go into every executable that links the layer:
# from a static library nothing would pull them in.
talewick_layer(talewick_window_native
  PLATFORM window_layer
  LINK talewick_window ${TALEWICK_WINDOW_LIBRARIES})

add_library(talewick_icon OBJECT talewick.rc)
target_include_directories(talewick_icon PRIVATE ${PROJECT_SOURCE_DIR}/assets)
set_source_files_properties(talewick.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/assets/talewick.ico)
target_link_libraries(talewick_window_native INTERFACE talewick_icon
  $<TARGET_OBJECTS:talewick_icon>)
