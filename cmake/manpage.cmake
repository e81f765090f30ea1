# The include file of help2man for kalp.1: the sections of share/kalp.h2m
# with the installed folder in place, and the help of each subcommand.
#   cmake -DKALP=<kalp> -DIN=<kalp.h2m> -DOUT=<include> -DDATADIR=<dir> -P manpage.cmake
file(READ "${IN}" text)
string(REPLACE "@KALP_DATADIR@" "${DATADIR}" text "${text}")
string(APPEND text "\n[SUBCOMMANDS]\n")
foreach(sub init serve index)
  execute_process(COMMAND "${KALP}" ${sub} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kalp ${sub} --help: status ${status}")
  endif()
  # Text for roff: backslashes and hyphens escaped, no line taken for a request.
  string(REPLACE "\\" "\\\\" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS \"kalp ${sub}\"\n.nf\n${help}.fi\n")
endforeach()
file(WRITE "${OUT}" "${text}")
