# The Windows front end: the Win32 window layer and talewick.exe, a GUI-subsystem
# program with the icon resource built by the cross toolchain's windres.
talewick_layer(talewick_window
  PLATFORM window_layer
  LINK talewick_core ${TALEWICK_WINDOW_LIBRARIES})

# The icon resource, as objects linked into each executable that shows the
# window: in a static library nothing would pull it in.
add_library(talewick_icon OBJECT talewick.rc)
target_include_directories(talewick_icon PRIVATE ${PROJECT_SOURCE_DIR}/assets)
set_source_files_properties(talewick.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/assets/talewick.ico)

add_executable(talewick WIN32)
talewick_platform_sources(talewick main)
target_link_libraries(talewick PRIVATE talewick_app talewick_window talewick_icon)
set_target_properties(talewick PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
