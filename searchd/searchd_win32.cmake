# The program's own memory through the block cache (new_delete_win32.cpp).
target_sources(talewick-search PRIVATE new_delete_win32.cpp)
# A corpus file looked at by its path, change time included (corpus_files_win32.cpp).
target_link_libraries(talewick_search PUBLIC ntdll)
