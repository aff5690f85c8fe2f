# The program's own memory through the block cache (new_delete_win32.cpp).
target_sources(talewick-search PRIVATE new_delete_win32.cpp)
# The system's messages in UTF-8 (text/wide_text_win32.h, header-only).
target_include_directories(talewick_search_sqlite PRIVATE ${CMAKE_BINARY_DIR}/include/talewick_text)
# A corpus file looked at by its path, change time included (corpus_files_win32.cpp).
target_link_libraries(talewick_search PUBLIC ntdll)
