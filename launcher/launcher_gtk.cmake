# Linux: failures shown in a GTK message dialog, and the window of a running
# Talewick found and raised through Xlib.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(talewick-start PRIVATE ${TALEWICK_WINDOW_LIBRARIES} PkgConfig::X11)
