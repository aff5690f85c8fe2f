# The Windows front end: talewick.exe, a GUI-subsystem program in the build
# folder's top level, with the icon resource built by the cross toolchain's windres.
if(WIN32)
  enable_language(RC)
  add_executable(talewick WIN32
    ${CMAKE_CURRENT_LIST_DIR}/main_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_layer_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/talewick.rc)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/talewick.rc PROPERTIES
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/assets
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/assets/talewick.ico)
  target_link_libraries(talewick PRIVATE talewick_core user32 gdi32 comctl32 kernel32)
  set_target_properties(talewick PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
