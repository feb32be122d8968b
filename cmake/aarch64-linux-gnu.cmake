# Cross build for Linux arm64:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# The program is linked statically, so that it runs under
# qemu-aarch64-static without an arm64 system root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(KUP_CROSS_PREFIX aarch64-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES ${KUP_CROSS_PREFIX}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KUP_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test programs cannot be built here (no GoogleTest for the target);
# the end-to-end cases run the cross-built kup through qemu instead.
set(KUP_BUILD_TESTS OFF CACHE BOOL "Build the test suite")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The emulator to run target programs with, for CMake and CTest.
find_program(KUP_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(KUP_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KUP_QEMU_AARCH64})
endif()
