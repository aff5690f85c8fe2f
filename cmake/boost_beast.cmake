# Boost.Beast (header-only, Debian's libboost-dev) for the search service and for
# the tests' HTTP server and client: one interface target carrying what each
# platform needs to compile and link it.
add_library(talewick_beast INTERFACE)
# Beast's string_view is then std::string_view, which the rest of the code uses.
target_compile_definitions(talewick_beast INTERFACE BOOST_BEAST_USE_STD_STRING_VIEW)

if(WIN32)
  # /usr/include on the MinGW include path would shadow MinGW's own C headers, so
  # the cross build sees a folder that holds nothing but a link to Boost.
  set(_boost_only ${CMAKE_BINARY_DIR}/boost-include)
  file(MAKE_DIRECTORY ${_boost_only})
  file(CREATE_LINK /usr/include/boost ${_boost_only}/boost SYMBOLIC)
  target_include_directories(talewick_beast SYSTEM INTERFACE ${_boost_only})
  # Asio 1.74's awaitable.hpp uses std::exchange without including <utility>,
  # which MinGW's g++ 12 has not pulled in by then.
  target_compile_options(talewick_beast INTERFACE "SHELL:-include utility")
  target_link_libraries(talewick_beast INTERFACE ws2_32 mswsock)
else()
  find_package(Boost 1.74 REQUIRED)
  find_package(Threads REQUIRED)
  target_link_libraries(talewick_beast INTERFACE Boost::headers Threads::Threads)
endif()
