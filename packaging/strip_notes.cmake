# CPack's pre-build script: CPack strips the programs with plain `strip`, which
# keeps the .comment and .note sections that Debian's dh_strip removes too.
file(GLOB _programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(_program IN LISTS _programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${_program}
                  RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${_program}")
  endif()
endforeach()
