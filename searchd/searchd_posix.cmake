# Linux: the service answers from an index file, SQLite with FTS5. The in-memory
# kind of the Windows build is built here too, as talewick-search-memory, so that
# the tests and benchmarks run both kinds.
find_package(SQLite3 REQUIRED)
add_library(talewick_search_sqlite STATIC checked_vfs.cpp index_header.cpp sqlite_db.cpp
                                          sqlite_index.cpp sqlite_update.cpp sqlite_words.cpp)
target_link_libraries(talewick_search_sqlite PUBLIC talewick_search SQLite::SQLite3
                                                    ${TALEWICK_THREAD_LIBRARIES})
target_sources(talewick-search PRIVATE open_sqlite_index.cpp)
target_link_libraries(talewick-search PRIVATE talewick_search_sqlite)

add_executable(talewick-search-memory main.cpp http_server.cpp options.cpp open_memory_index.cpp)
talewick_platform_sources(talewick-search-memory service_platform)
target_link_libraries(talewick-search-memory PRIVATE talewick_search talewick_beast)
target_compile_definitions(talewick-search-memory PRIVATE TALEWICK_VERSION="${PROJECT_VERSION}")
set_target_properties(talewick-search-memory PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                        ${CMAKE_BINARY_DIR})

# What the service's tests run: both kinds, and the one with an index file.
set(TALEWICK_SEARCH_KINDS talewick-search talewick-search-memory CACHE INTERNAL "")
set(TALEWICK_SEARCH_FILE_INDEX talewick-search CACHE INTERNAL "")
