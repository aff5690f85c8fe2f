# On Windows a GUI-subsystem program with the program's icon: double-clicked, it
# opens no console window, and a failure is a message box. It reads talewick.exe's
# debug lines from the system's debug buffer.
set_target_properties(talewick-start PROPERTIES WIN32_EXECUTABLE ON)
target_sources(talewick_process PRIVATE dbwin_capture_win32.cpp)
target_link_libraries(talewick_process PUBLIC user32 kernel32)
target_link_libraries(talewick-start PRIVATE talewick_icon)
