# Fails unless every symbol the shared library defines for dynamic linking is
# a truvello_ function and the lifecycle entry points are among them.
# Arguments: NM (the nm program), LIBRARY (path of the shared library).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed ERROR_VARIABLE errors)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(names)
set(strays)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; a version suffix (@...) is not part of the name.
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^@ ]+)")
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    list(APPEND names ${name})
    if(NOT type STREQUAL "T" OR NOT name MATCHES "^truvello_")
      list(APPEND strays "${type} ${name}")
    endif()
  endif()
endforeach()
if(strays)
  list(JOIN strays "\n  " shown)
  message(FATAL_ERROR "exported beyond the C interface:\n  ${shown}")
endif()

foreach(required truvello_abi_version truvello_version truvello_create truvello_free truvello_cancel
                 truvello_default_config)
  if(NOT required IN_LIST names)
    message(FATAL_ERROR "${required} is not exported; found: ${names}")
  endif()
endforeach()
list(LENGTH names count)
message(STATUS "${count} exported functions, all truvello_: ${names}")
