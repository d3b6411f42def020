# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the "posix"
# threads variant, whose C++ runtime has std::thread and std::mutex):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Packages: mingw-w64 g++-mingw-w64-x86-64-posix (scripts/windows-packages.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TERVALA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TERVALA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TERVALA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TERVALA_MINGW_TRIPLE}-windres)

# Libraries and packages come from the MinGW tree only, never from the
# build machine's /usr/lib; programs (cmake's helpers) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TERVALA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only dependencies (Boost.Math, CLI11, nlohmann-json, and {fmt} in
# its header-only mode) are taken from the build machine's Debian headers:
# cmake/TervalaHeaderOnly.cmake links just those folders into the build tree,
# so the compiler never sees glibc's headers.
set(TERVALA_HOST_HEADERS /usr/include CACHE PATH "Folder holding the build machine's header-only libraries")

# ctest runs the Windows programs under Wine.
find_program(TERVALA_WINE NAMES wine wine64)
if(TERVALA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TERVALA_WINE})
endif()
