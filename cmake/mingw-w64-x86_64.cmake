# Cross build for 64-bit Windows with Debian's MinGW-w64 (packages
# g++-mingw-w64-x86-64-posix and, to run the tests, wine64):
#
#   cmake/fetch-windows-deps.sh build-windows
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows -j2 && ctest --test-dir build-windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: std::thread and std::mutex come with it.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked in: the programs need no DLL
# beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the Windows programs under Wine, quietly, in a Wine prefix of
# the build tree unless WINEPREFIX names one. Debian's wine64 without its
# recommends has no `wine` on the PATH, only its loader.
find_program(KALP_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KALP_WINE)
  if(DEFINED ENV{WINEPREFIX})
    set(kalp_wineprefix $ENV{WINEPREFIX})
  else()
    set(kalp_wineprefix ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  # cmake/wine-run starts the Wine server apart from the test, which it
  # would otherwise keep waiting.
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${kalp_wineprefix} WINEDEBUG=-all WINE=${KALP_WINE}
      ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
