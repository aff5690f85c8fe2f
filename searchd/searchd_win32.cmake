# Windows: no SQLite here, so the service answers from the in-memory index.
target_sources(talewick-search PRIVATE open_memory_index.cpp)
# CommandLineToArgvW, for the wide command line.
target_link_libraries(talewick-search PRIVATE shell32)

# What the service's tests run: the one kind, with no index file.
set(TALEWICK_SEARCH_KINDS talewick-search CACHE INTERNAL "")
set(TALEWICK_SEARCH_FILE_INDEX "" CACHE INTERNAL "")
