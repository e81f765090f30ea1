# An installed kalp finds its template and examples: cmake --install into a
# scratch prefix, kalp init there, and a run of the scenario it wrote.
#   cmake -DBUILD=<build dir> -DSCRATCH=<scratch dir> -P install.cmake
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${SCRATCH}/prefix"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(args "init;${SCRATCH}/scenario;--two-systems" "-C;${SCRATCH}/scenario")
  execute_process(COMMAND "${SCRATCH}/prefix/bin/kalp" ${args} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kalp ${args}: status ${status}\n${out}")
  endif()
endforeach()
if(NOT EXISTS "${SCRATCH}/scenario/resgfps02")
  message(FATAL_ERROR "the installed kalp wrote no results file")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
