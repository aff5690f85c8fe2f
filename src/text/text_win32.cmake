# Windows: the launcher and the search service take the story-folder rule once
# more, over the wide calls, in UTF-8 (base/utf8_system.h); the window program
# keeps talewick_text, over the ANSI calls. A program links one of the two,
# never both.
add_library(talewick_text_utf8 STATIC story_folder.cpp story_folder_utf8_win32.cpp
                                      standard_output_win32.cpp)
target_include_directories(talewick_text_utf8 PUBLIC ${CMAKE_BINARY_DIR}/include/talewick_text)
target_link_libraries(talewick_text_utf8 PUBLIC talewick_base)
