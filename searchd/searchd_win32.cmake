# CommandLineToArgvW, for the wide command line.
target_link_libraries(talewick-search PRIVATE shell32)
