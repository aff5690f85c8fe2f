# Linux speaks UTF-8 already: the launcher and the search service take the text
# layer itself, and the command line as it comes.
add_library(talewick_text_utf8 STATIC utf8_system.cpp utf8_system_posix.cpp)
target_link_libraries(talewick_text_utf8 PUBLIC talewick_text)
