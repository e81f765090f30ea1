# An installed kalp finds its template and examples: cmake --install into a
# scratch prefix, kalp init there, and a run of the scenario it wrote; the
# installation holds what the README says, and kalp init's advice works as
# it prints it.
#   cmake -DBUILD=<build dir> -DSCRATCH=<scratch dir> [-DMANPAGE=ON] -P install.cmake
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
# What the README says the installation holds.
set(installed bin/kalp share/kalp/TEXTVRD_OUT.TXT)
foreach(example one-system one-system-standardised two-systems two-systems-dairy-rams)
  list(APPEND installed share/kalp/examples/${example}/TEXTVRD_OUT.TXT
       share/kalp/examples/${example}/INPUTVRD01A.TXT share/kalp/examples/${example}/README.md)
endforeach()
if(MANPAGE)
  list(APPEND installed share/man/man1/kalp.1)
endif()
foreach(file ${installed})
  if(NOT EXISTS "${SCRATCH}/prefix/${file}")
    message(FATAL_ERROR "cmake --install did not install ${file}")
  endif()
endforeach()
# kalp init's advice, run as it prints it from the folder where kalp init
# ran, with the installed bin on PATH.
set(ENV{PATH} "${SCRATCH}/prefix/bin:$ENV{PATH}")
file(MAKE_DIRECTORY "${SCRATCH}/work/base")
foreach(args "init;flock" "-C;base;init;Schafe im Tal")
  execute_process(COMMAND kalp ${args} WORKING_DIRECTORY "${SCRATCH}/work" RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX MATCH "\\((kalp -C [^)]*)\\)" advice "${out}")
  if(NOT status EQUAL 0 OR NOT CMAKE_MATCH_1)
    message(FATAL_ERROR "kalp ${args}: status ${status}, no advice\n${out}")
  endif()
  execute_process(COMMAND sh -c "${CMAKE_MATCH_1}" WORKING_DIRECTORY "${SCRATCH}/work"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0 OR NOT out MATCHES "The results are given in the file resgfps01")
    message(FATAL_ERROR "${CMAKE_MATCH_1}, as kalp ${args} advised: status ${status}\n${out}")
  endif()
endforeach()
if(NOT EXISTS "${SCRATCH}/work/base/Schafe im Tal/resgfps01")
  message(FATAL_ERROR "the advice of kalp -C base init ran elsewhere")
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
