# Runs kalp on a copy of an example working directory, so that the source
# tree stays untouched:
#   cmake -DKALP=<kalp binary> -DEXAMPLE=<example dir> -DRUN=<scratch dir>
#         -DTEMPLATE=<TEXTVRD_OUT.TXT> -P run-example.cmake
foreach(var KALP EXAMPLE RUN TEMPLATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run-example.cmake needs -D${var}=...")
  endif()
  get_filename_component(${var} "${${var}}" ABSOLUTE)
endforeach()
file(REMOVE_RECURSE "${RUN}")
file(COPY "${EXAMPLE}/" DESTINATION "${RUN}")
file(COPY "${TEMPLATE}" DESTINATION "${RUN}")
execute_process(COMMAND "${KALP}" WORKING_DIRECTORY "${RUN}" RESULT_VARIABLE status)
file(GLOB results "${RUN}/resgfps0*")
message("\nWorking directory: ${RUN}")
foreach(f ${results} "${RUN}/CHECKVRD")
  if(EXISTS "${f}")
    message("Written: ${f}")
  endif()
endforeach()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kalp ended with status ${status}")
endif()
