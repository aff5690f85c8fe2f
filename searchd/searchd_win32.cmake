# CommandLineToArgvW, for the wide command line.
target_link_libraries(talewick-search PRIVATE shell32)
# The program's own memory through the block cache (new_delete_win32.cpp).
target_sources(talewick-search PRIVATE new_delete_win32.cpp)
