# Installs the build into a scratch prefix and checks that each frei0r plug-in lands where
# frei0r hosts search: <prefix>/lib/frei0r-1/<name>.so.
# Arguments: -DBUILD_DIR=... -DPREFIX=... -DPLUGINS=name,name,...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
string(REPLACE "," ";" PLUGINS "${PLUGINS}")
foreach(plugin IN LISTS PLUGINS)
  if(NOT EXISTS "${PREFIX}/lib/frei0r-1/${plugin}.so")
    message(FATAL_ERROR "${plugin}.so is not in ${PREFIX}/lib/frei0r-1")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed into lib/frei0r-1: ${PLUGINS}")
