# The release archive of the Windows build: `cpack -G ZIP` in the build
# tree makes kalp-VERSION-windows-x86_64.zip with kalp.exe and the template
# side by side, every example with a copy of the template of its own, so
# that `kalp` runs in it as it is unpacked, and the README, the licence and
# the changes.
install(TARGETS kalp RUNTIME DESTINATION .)
install(FILES share/TEXTVRD_OUT.TXT README.md LICENSE CHANGELOG.md DESTINATION .)
file(GLOB kalp_examples RELATIVE ${PROJECT_SOURCE_DIR}/examples ${PROJECT_SOURCE_DIR}/examples/*)
foreach(example IN LISTS kalp_examples)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/examples/${example})
    install(DIRECTORY examples/${example}/ DESTINATION examples/${example})
    install(FILES share/TEXTVRD_OUT.TXT DESTINATION examples/${example})
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kalp)
set(CPACK_PACKAGE_FILE_NAME kalp-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
