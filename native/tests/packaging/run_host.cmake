# Runs a host program and checks that it printed the library's version.
# Included by the build checks, with HOST (the program), VERSION and, where the
# host has no run path of its own, LIBRARY_PATH.
function(truvello_run_host host)
  set(env)
  if(LIBRARY_PATH)
    set(env ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${LIBRARY_PATH})
  endif()
  execute_process(COMMAND ${env} ${host}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed OR NOT out STREQUAL VERSION)
    message(FATAL_ERROR "${host} exited with '${failed}', printed '${out}', expected '${VERSION}'\n${err}")
  endif()
  message(STATUS "${host} printed ${out}")
endfunction()
