# Windows: user32 and comctl32 for the window, urlmon for the download.
set(TALEWICK_PLATFORM_SUFFIXES win32)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

set(TALEWICK_DOWNLOAD_LIBRARIES urlmon wininet ole32 uuid)
set(TALEWICK_WINDOW_LIBRARIES user32 gdi32 comctl32 kernel32)
# The posix thread model of the MinGW toolchain provides std::thread itself.
set(TALEWICK_THREAD_LIBRARIES "")
enable_language(RC)

# Boost.Beast (header-only, the build machine's /usr/include/boost) for the search
# service and the tests' HTTP server. /usr/include on the MinGW include path would
# shadow MinGW's own C headers, so the cross build sees a folder that holds nothing
# but a link to Boost.
add_library(talewick_beast INTERFACE)
target_compile_definitions(talewick_beast INTERFACE BOOST_BEAST_USE_STD_STRING_VIEW)
find_path(TALEWICK_BOOST_INCLUDE boost/version.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
set(_boost_only ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${_boost_only})
file(CREATE_LINK ${TALEWICK_BOOST_INCLUDE}/boost ${_boost_only}/boost SYMBOLIC)
target_include_directories(talewick_beast SYSTEM INTERFACE ${_boost_only})
# Asio 1.74's awaitable.hpp uses std::exchange without including <utility>, which
# MinGW's g++ 12 has not pulled in by then.
target_compile_options(talewick_beast INTERFACE "SHELL:-include utility")
target_link_libraries(talewick_beast INTERFACE ws2_32 mswsock)

# GoogleTest, built from Debian's sources with the cross compiler; the project's
# warning flags are not applied to it.
find_path(TALEWICK_GOOGLETEST_SOURCE googletest/CMakeLists.txt PATHS /usr/src/googletest
          DOC "GoogleTest sources, built with the cross compiler" NO_CMAKE_FIND_ROOT_PATH)
if(TALEWICK_GOOGLETEST_SOURCE)
  set(TALEWICK_GTEST_FOUND ON)
else()
  set(TALEWICK_GTEST_FOUND OFF)
endif()
macro(talewick_add_googletest)
  get_directory_property(_talewick_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TALEWICK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_talewick_options}")
  set(TALEWICK_GTEST_MAIN gtest_main)
endmacro()

# There is no Google Benchmark for MinGW-w64: bench/ makes only the tools that
# need none (the baseline that scripts/bench_search.py --windows runs).
set(TALEWICK_GOOGLE_BENCHMARK OFF)

# SQLite (with FTS5) for the search service's index, compiled here from the
# amalgamation of the version Debian's libsqlite3-dev has, made from Debian's
# source package by scripts/install-deps.sh. Its own warnings are not ours.
if(TALEWICK_BUILD_SEARCHD)
  enable_language(C)
  file(GLOB _sqlite_folders LIST_DIRECTORIES true /usr/local/src/talewick/sqlite3-*)
  find_path(TALEWICK_SQLITE_AMALGAMATION sqlite3.c PATHS ${_sqlite_folders}
            DOC "SQLite amalgamation (scripts/install-deps.sh windows makes it)"
            NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT TALEWICK_SQLITE_AMALGAMATION)
    message(FATAL_ERROR
      "The search service needs SQLite for MinGW-w64, made from Debian's source package, and "
      "there is none in /usr/local/src/talewick/sqlite3-VERSION/. Make it (as root) with\n"
      "  bash scripts/install-deps.sh windows\n"
      "then configure again; or build without the service: -DTALEWICK_BUILD_SEARCHD=OFF")
  endif()
  add_library(talewick_sqlite3 STATIC ${TALEWICK_SQLITE_AMALGAMATION}/sqlite3.c)
  target_include_directories(talewick_sqlite3 SYSTEM PUBLIC ${TALEWICK_SQLITE_AMALGAMATION})
  # A read at an offset (OVERLAPPED) ends, under Wine, with a request to the
  # wineserver to post its completion, one for each page of the index read: each
  # connection's reads seek and read instead (a connection is used by one thread
  # at a time).
  target_compile_definitions(talewick_sqlite3 PRIVATE SQLITE_ENABLE_FTS5 SQLITE_THREADSAFE=1
                                                      SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                                                      SQLITE_ENABLE_DBSTAT_VTAB
                                                      SQLITE_WIN32_NO_OVERLAPPED)
  target_compile_options(talewick_sqlite3 PRIVATE -w -g0)
  add_library(SQLite::SQLite3 ALIAS talewick_sqlite3)
endif()
