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
# An installed example runs as it is copied.
file(COPY "${SCRATCH}/prefix/share/kalp/examples/two-systems" DESTINATION "${SCRATCH}/copied")
execute_process(COMMAND "${SCRATCH}/prefix/bin/kalp" -C "${SCRATCH}/copied/two-systems"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT EXISTS "${SCRATCH}/copied/two-systems/resgfps02")
  message(FATAL_ERROR "a copied example does not run: status ${status}\n${out}")
endif()
# A program copied away from its data names the folder where it looked.
file(COPY "${SCRATCH}/prefix/bin/kalp" DESTINATION "${SCRATCH}/alone")
execute_process(COMMAND "${SCRATCH}/alone/kalp" init "${SCRATCH}/alone/flock"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 2 OR NOT err MATCHES "/share/kalp" OR err MATCHES "PREFIX")
  message(FATAL_ERROR "kalp init without its data: status ${status}\n${err}")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
