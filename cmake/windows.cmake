# The Windows build (cmake/mingw-w64-x86_64.cmake): what it takes from
# Debian.

# Header-only libraries: CLI11, nlohmann-json, Eigen and cpp-httplib's
# single header, put in the build tree by cmake/fetch-windows-deps.sh.
set(KALP_WINDOWS_DEPS ${CMAKE_BINARY_DIR}/windows-deps/include CACHE PATH
    "The headers of the Windows build, from cmake/fetch-windows-deps.sh")
if(NOT EXISTS ${KALP_WINDOWS_DEPS}/httplib.h)
  message(FATAL_ERROR "No headers for the Windows build in ${KALP_WINDOWS_DEPS}: "
                      "run cmake/fetch-windows-deps.sh ${CMAKE_BINARY_DIR} first")
endif()
add_library(kalpheaders INTERFACE)
target_include_directories(kalpheaders SYSTEM INTERFACE ${KALP_WINDOWS_DEPS})
# cpp-httplib on Windows: Winsock, and the crypto API for its random numbers.
target_link_libraries(kalpheaders INTERFACE ws2_32 crypt32)
# Winsock keeps the backlog of a socket's first listen(), which the library
# makes as it binds: connections that come all at once wait there to be
# accepted, as they do after src/serve/http.cpp widens it on Linux.
target_compile_definitions(kalpheaders INTERFACE CPPHTTPLIB_LISTEN_BACKLOG=256)

# GoogleTest from Debian's sources (libgtest-dev), built with the cross
# compiler and without the warnings asked of KALP's own code.
if(KALP_TESTS)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(KALP_GOOGLETEST /usr/src/googletest CACHE PATH "GoogleTest's sources")
  get_directory_property(kalp_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "-ffp-contract=off")
  add_subdirectory(${KALP_GOOGLETEST} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${kalp_options}")
endif()

# The resources of kalp.exe (windres of the MinGW toolchain): a manifest
# that declares long paths and UTF-8 as the program's code page, and the
# version information that Explorer shows.
enable_language(RC)
set(KALP_MANIFEST ${CMAKE_BINARY_DIR}/windows/kalp.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/kalp.manifest.in ${KALP_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/kalp.rc.in ${CMAKE_BINARY_DIR}/windows/kalp.rc @ONLY)
