# Provides the GTest::gtest_main target: an installed GoogleTest when there is
# one, otherwise Debian's googletest source package built along with the tests.
find_package(GTest QUIET)
if(TARGET GTest::gtest_main)
  return()
endif()

set(TONEBAKE_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources to build when no installed GoogleTest is found")
if(NOT EXISTS "${TONEBAKE_GTEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR
    "GoogleTest was not found. Install the Debian package 'googletest' (or "
    "'libgtest-dev'; elsewhere GoogleTest itself, for example with vcpkg), or "
    "configure with -DBUILD_TESTING=OFF to build without tests.")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory("${TONEBAKE_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
