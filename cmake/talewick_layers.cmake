# How the build is put together: one static library per folder of src/ (a
# layer), and the one way platform code is chosen.
#
# Layers point one way: text <- core <- query, analysis <- app, with window (the
# window layer's interface, which needs no other layer) below query, analysis and
# app; window/native and window/scripted implement it, and each program links one
# of the two. A layer's headers are reached as "folder/name.h"
# ("window/native/name.h" for a folder inside a folder; "searchd/text/name.h" for
# a folder outside src/, named from the project's root) through an include folder
# of its own that holds only that folder's headers, and a library sees only the
# include folders of the layers it links; so an include that points up does not
# compile.
#
# Platform code: a source named STEM_SUFFIX.cpp is built when SUFFIX is one of
# TALEWICK_PLATFORM_SUFFIXES (set by cmake/platform_<platform>.cmake).

# Sets `out` to the STEM_SUFFIX.cpp of the current source folder that belongs to
# this platform (STEM may name a subfolder), or to "" when there is none.
function(talewick_platform_file out stem)
  set(found "")
  foreach(suffix IN LISTS TALEWICK_PLATFORM_SUFFIXES)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${stem}_${suffix}.cpp)
      list(APPEND found ${CMAKE_CURRENT_SOURCE_DIR}/${stem}_${suffix}.cpp)
    endif()
  endforeach()
  list(LENGTH found count)
  if(count GREATER 1)
    message(FATAL_ERROR "${stem}: more than one source for this platform: ${found}")
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Adds this platform's STEM_SUFFIX.cpp to `target` for each STEM; there must be one.
function(talewick_platform_sources target)
  foreach(stem IN LISTS ARGN)
    talewick_platform_file(source ${stem})
    if(NOT source)
      message(FATAL_ERROR "${stem}: no ${stem}_{${TALEWICK_PLATFORM_SUFFIXES}}.cpp")
    endif()
    target_sources(${target} PRIVATE ${source})
  endforeach()
endfunction()

# talewick_layer(NAME SOURCES ... [PLATFORM stems ...] [LINK libraries ...])
# A static library of the current folder, with its own include folder.
function(talewick_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "SOURCES;PLATFORM;LINK")
  add_library(${name} STATIC ${LAYER_SOURCES})
  talewick_platform_sources(${name} ${LAYER_PLATFORM})
  # The folder's path below src/, or from the project's root for a folder
  # elsewhere ("searchd/text"), so that folders of one name do not clash.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  if(folder MATCHES "^\\.\\.")
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  # The view links the folder's own headers, one by one: a folder inside it is
  # a layer of its own, seen only by those that link that layer.
  set(view ${CMAKE_BINARY_DIR}/include/${name})
  if(IS_SYMLINK ${view}/${folder})
    file(REMOVE ${view}/${folder})  # a whole-folder link left by an older build
  endif()
  file(MAKE_DIRECTORY ${view}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(header_name ${header} NAME)
    file(CREATE_LINK ${header} ${view}/${folder}/${header_name} SYMBOLIC)
  endforeach()
  target_include_directories(${name} PUBLIC ${view})
  target_link_libraries(${name} PUBLIC ${LAYER_LINK})
endfunction()

# Includes STEM_SUFFIX.cmake of the current source folder for this platform's
# suffix, when there is one: the per-platform part of a folder's build.
macro(talewick_platform_include stem)
  foreach(_suffix IN LISTS TALEWICK_PLATFORM_SUFFIXES)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${stem}_${_suffix}.cmake)
      include(${CMAKE_CURRENT_SOURCE_DIR}/${stem}_${_suffix}.cmake)
    endif()
  endforeach()
endmacro()
