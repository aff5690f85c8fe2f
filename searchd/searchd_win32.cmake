# The program's own memory through the block cache (new_delete_win32.cpp).
target_sources(talewick-search PRIVATE new_delete_win32.cpp)
