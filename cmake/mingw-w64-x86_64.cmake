# Cross build for Windows x86-64 with MinGW-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# kup uses no threads, so the win32 thread model is preferred: its runtime
# needs no winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KUP_CROSS_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${KUP_CROSS_PREFIX}-g++-win32 ${KUP_CROSS_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KUP_CROSS_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KUP_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test programs cannot be built here (no GoogleTest for the target);
# the end-to-end cases run the cross-built kup through wine instead.
set(KUP_BUILD_TESTS OFF CACHE BOOL "Build the test suite")
