# The release archive of the Windows build: `cpack -G ZIP` in the build
# tree makes kalp-VERSION-windows-x86_64.zip, which holds one folder, kalp,
# so that unpacked to C:\ the program is C:\kalp\kalp.exe, as its README
# says: kalp.exe and the template side by side, every example with a copy
# of the template of its own, so that `kalp` runs in it as it is unpacked,
# the README for its users, the licence and the changes.
configure_file(share/windows/README.txt ${CMAKE_BINARY_DIR}/windows/README.txt @ONLY)
install(TARGETS kalp RUNTIME DESTINATION kalp)
install(FILES share/TEXTVRD_OUT.TXT ${CMAKE_BINARY_DIR}/windows/README.txt LICENSE CHANGELOG.md DESTINATION kalp)
file(GLOB kalp_examples RELATIVE ${PROJECT_SOURCE_DIR}/examples ${PROJECT_SOURCE_DIR}/examples/*)
foreach(example IN LISTS kalp_examples)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/examples/${example})
    install(DIRECTORY examples/${example}/ DESTINATION kalp/examples/${example})
    install(FILES share/TEXTVRD_OUT.TXT DESTINATION kalp/examples/${example})
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kalp)
set(CPACK_PACKAGE_FILE_NAME kalp-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
