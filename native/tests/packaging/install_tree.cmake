# Installs the library's two components (runtime: the shared library and its
# SONAME link; development: header, link-time name, CMake package, pkg-config
# file) into a fresh prefix, as a packager would. Other install rules of the
# project (the command-line host) are left out: they are not what hosts link.
# Arguments: BUILD_DIR, PREFIX, CONFIG.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
foreach(component runtime development)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --config ${CONFIG}
                          --component ${component}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cmake --install --component ${component} failed")
  endif()
endforeach()
