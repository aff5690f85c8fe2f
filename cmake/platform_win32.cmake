# Windows: user32 and comctl32 for the window, urlmon for the download.
set(TALEWICK_PLATFORM_SUFFIXES win32)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

set(TALEWICK_DOWNLOAD_LIBRARIES urlmon wininet ole32 uuid)
set(TALEWICK_WINDOW_LIBRARIES user32 gdi32 comctl32 kernel32)
# The posix thread model of the MinGW toolchain provides std::thread itself.
set(TALEWICK_THREAD_LIBRARIES "")
enable_language(RC)
