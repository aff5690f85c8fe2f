# Linux: the GTK 3 front end, libcurl for the download.
set(TALEWICK_PLATFORM_SUFFIXES posix gtk curl)

# The hardening Debian builds its packages with: checked libc calls where the
# compiler optimises, and a read-only global offset table.
add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo>:_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro,-z,now)

find_package(CURL REQUIRED)
set(TALEWICK_DOWNLOAD_LIBRARIES CURL::libcurl)

find_package(PkgConfig REQUIRED)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# Xlib too: what GDK does not wrap (the window manager's frame, its list of windows).
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
set(TALEWICK_WINDOW_LIBRARIES PkgConfig::GTK3 PkgConfig::X11)

find_package(Threads REQUIRED)
set(TALEWICK_THREAD_LIBRARIES Threads::Threads)

# SQLite (with FTS5) for the search service's index, as Debian installs it.
if(TALEWICK_BUILD_SEARCHD)
  find_package(SQLite3 REQUIRED)
endif()

# Boost.Beast (header-only) for the search service and the tests' HTTP server.
find_package(Boost 1.74 REQUIRED)
add_library(talewick_beast INTERFACE)
target_compile_definitions(talewick_beast INTERFACE BOOST_BEAST_USE_STD_STRING_VIEW)
target_link_libraries(talewick_beast INTERFACE Boost::headers Threads::Threads)

# GoogleTest, as Debian installs it.
find_package(GTest QUIET)
set(TALEWICK_GTEST_FOUND ${GTest_FOUND})
macro(talewick_add_googletest)
  find_package(GTest REQUIRED)
  set(TALEWICK_GTEST_MAIN GTest::gtest_main)
endmacro()

# Google Benchmark, as Debian installs it, for the benchmarks in bench/.
set(TALEWICK_GOOGLE_BENCHMARK ON)
