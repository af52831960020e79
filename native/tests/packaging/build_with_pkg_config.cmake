# Compiles and runs the host with the flags of the installed pkg-config file.
# Arguments: PREFIX, LIBDIR (relative to PREFIX), SOURCE, WORK, PKG_CONFIG,
# C_COMPILER, C_FLAGS, LINK_FLAGS, VERSION.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/run_host.cmake)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# Only the fresh prefix is searched.
set(ENV{PKG_CONFIG_LIBDIR} ${PREFIX}/${LIBDIR}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})

execute_process(COMMAND ${PKG_CONFIG} --modversion truvello
  OUTPUT_VARIABLE modversion RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
if(failed OR NOT modversion STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config --modversion truvello gave '${modversion}', expected '${VERSION}'")
endif()
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs truvello
  OUTPUT_VARIABLE flags RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
if(failed)
  message(FATAL_ERROR "pkg-config --cflags --libs truvello failed")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${C_FLAGS}")
separate_arguments(link_extra UNIX_COMMAND "${LINK_FLAGS}")

execute_process(COMMAND ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror ${extra}
    ${SOURCE}/host.c -o ${WORK}/host ${flags} ${link_extra}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "compiling the host with pkg-config's flags failed: ${flags}")
endif()
set(LIBRARY_PATH ${PREFIX}/${LIBDIR})
truvello_run_host(${WORK}/host)
