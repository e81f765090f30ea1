# Writes OUT, a header that holds the files of the editor page (HTML, JS,
# CSS) as string literals, so that the program needs no files beside it.
# JS may be a list of files, which make one script in their order.
# cmake -DOUT=... -DHTML=... -DJS=...;... -DCSS=... -P embed.cmake
set(header "// Made by cmake/embed.cmake from share/editor; edit those files instead.\n#pragma once\n\n")
foreach(part html js css)
  string(TOUPPER ${part} var)
  set(content "")
  foreach(file IN LISTS ${var})
    file(READ "${file}" text)
    string(FIND "${text}" ")kalp\"" clash)
    if(NOT clash EQUAL -1)
      message(FATAL_ERROR "${file} holds )kalp\", which ends the string literal")
    endif()
    string(APPEND content "${text}")
  endforeach()
  string(APPEND header "inline constexpr const char* editor${part} = R\"kalp(${content})kalp\";\n\n")
endforeach()
file(WRITE "${OUT}.new" "${header}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
