# Linux speaks UTF-8 already: the launcher and the search service take the text
# layer itself (base/utf8_system.h takes the command line as it comes).
add_library(talewick_text_utf8 INTERFACE)
target_link_libraries(talewick_text_utf8 INTERFACE talewick_text)
