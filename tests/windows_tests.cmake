# The Windows test build: GoogleTest compiled for Windows from the build
# machine's sources, a Wine prefix of the build's own, and the wrapper that runs
# each test program in it (ctest's cross-compiling emulator). Included from
# tests/CMakeLists.txt.

set(MIREL_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest's sources")
if(NOT EXISTS "${MIREL_GOOGLETEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "${MIREL_GOOGLETEST_SOURCE} is missing: run scripts/setup")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory("${MIREL_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
endif()
# The suites whose tests drive the Qt dialogs: their Win32 versions are made by
# platform_gui/windows.cmake and ui/windows.cmake.
set(MIREL_QT_TEST_DIRS platform_gui ui gimp)

add_library(mirel_test_main STATIC "${CMAKE_CURRENT_SOURCE_DIR}/support/windows_test_main.cpp")
target_link_libraries(mirel_test_main PUBLIC GTest::gtest PRIVATE mirel_os mirel_warnings)
set(MIREL_TEST_MAIN mirel_test_main)

find_program(MIREL_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(MIREL_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(MIREL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
# A new prefix takes 10-15 s to set up; it is made once, before the first test
# program is listed, so that test programs never race to make it.
set(prefix_stamp "${MIREL_WINE_PREFIX}/.mirel-ready")
add_custom_command(
  OUTPUT "${prefix_stamp}"
  COMMAND sh -c "WINEPREFIX='${MIREL_WINE_PREFIX}' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' '${MIREL_WINE}' wineboot -i >'${CMAKE_BINARY_DIR}/wineprefix.log' 2>&1 </dev/null"
  COMMAND "${CMAKE_COMMAND}" -E touch "${prefix_stamp}"
  COMMENT "Making the Wine prefix for the tests"
  VERBATIM)
add_custom_target(mirel_wine_prefix DEPENDS "${prefix_stamp}")

set(MIREL_TEST_ENV "${CMAKE_BINARY_DIR}/wine-test-run")
configure_file("${CMAKE_CURRENT_SOURCE_DIR}/wine_test_run.sh.in" "${MIREL_TEST_ENV}" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
