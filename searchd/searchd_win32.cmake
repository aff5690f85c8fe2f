# The program's own memory through the block cache (platform/new_delete_win32.cpp):
# built into the program itself, since nothing would pull it out of a library.
target_sources(talewick-search PRIVATE platform/new_delete_win32.cpp)
# A corpus file looked at by its path, change time included (corpus_files_win32.cpp).
target_link_libraries(talewick_search_corpus PUBLIC ntdll)
