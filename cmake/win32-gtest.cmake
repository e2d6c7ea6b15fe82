# GoogleTest for the Windows cross build, compiled from Debian's source
# package (googletest) with the cross compiler, so that tests/ finds
# GTest::gtest_main without a Windows build of it installed.

set(VELNO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${VELNO_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VELNO_GTEST_SOURCE_DIR} "
                      "(apt-get install googletest)")
endif()

# GoogleTest is not held to the project's warning flags.
get_directory_property(_velno_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VELNO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_velno_saved_options}")

if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Every test of a cross build runs under Wine.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set_property(DIRECTORY PROPERTY LABELS wine)
endif()
