# Linux: failures shown in a GTK message dialog, and the window of a running
# Talewick found and raised through Xlib.
target_link_libraries(talewick-start PRIVATE ${TALEWICK_WINDOW_LIBRARIES})
