# Builds and runs the host project against the installed CMake package.
# Arguments: PREFIX, SOURCE, WORK, GENERATOR, MAKE_PROGRAM, C_COMPILER,
# C_FLAGS, LINK_FLAGS, VERSION.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/run_host.cmake)

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G ${GENERATOR}
    -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_C_FLAGS=${C_FLAGS}
    -DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DTRUVELLO_EXPECTED_VERSION=${VERSION}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "configuring the host project failed")
endif()

# The package must come from the fresh prefix, not from some other install.
file(STRINGS ${WORK}/CMakeCache.txt found REGEX "^truvello_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found "${found}")
file(REAL_PATH ${PREFIX} real_prefix)
file(REAL_PATH ${found} real_found)
string(FIND "${real_found}" "${real_prefix}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "found the package at ${found}, outside ${PREFIX}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "building the host project failed")
endif()
# CMake gives the host a run path to the imported library.
truvello_run_host(${WORK}/host)
