# The window-system layer's tests on the Win32 backend, run under Wine on an X
# display: the shared dialog tests through the Win32 test driver, and what only
# that backend has. Included from tests/CMakeLists.txt in the Windows build,
# after windows_tests.cmake (GoogleTest, the tests' main, the Wine prefix).
#
# Each test program runs through wine_gui_run.sh: on the X display named by
# MIREL_GUI_DISPLAY (or DISPLAY), else on an Xvfb server of its own that it
# starts and stops; in a Wine prefix of the dialog tests' own (two, in fact:
# one for a display, one for none). Wine's output goes through a file, never
# a pipe that its helper processes would keep open.

set(gui_dir "${CMAKE_CURRENT_LIST_DIR}")
set(MIREL_GUI_TEST_RUN "${CMAKE_BINARY_DIR}/wine-gui-test-run")
# Prefixes of their own: a Wine session started without a display (the
# headless tests, the no-display test) leaves its desktop without one for as
# long as its server lives, and programs of that session can then make no
# window at all.
set(MIREL_GUI_WINE_PREFIX "${MIREL_WINE_PREFIX}-gui")
set(MIREL_NO_DISPLAY_WINE_PREFIX "${MIREL_WINE_PREFIX}-nodisplay")
find_program(MIREL_WINESERVER_PROGRAM NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(gui_prefix_stamps "")
foreach(prefix IN ITEMS "${MIREL_GUI_WINE_PREFIX}" "${MIREL_NO_DISPLAY_WINE_PREFIX}")
  # Made once, one after the other, before the first test program is listed.
  set(stamp "${prefix}/.mirel-ready")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND sh -c "export WINEPREFIX='${prefix}' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='; unset DISPLAY; '${MIREL_WINE}' wineboot -i >'${prefix}.log' 2>&1 </dev/null; '${MIREL_WINESERVER_PROGRAM}' -w"
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS ${gui_prefix_stamps}
    COMMENT "Making the Wine prefix ${prefix}"
    VERBATIM)
  list(APPEND gui_prefix_stamps "${stamp}")
endforeach()
add_custom_target(mirel_gui_wine_prefixes DEPENDS ${gui_prefix_stamps})
find_program(MIREL_XVFB NAMES Xvfb NO_CMAKE_FIND_ROOT_PATH)
if(NOT MIREL_XVFB)
  message(WARNING "Xvfb is missing: the Windows dialog tests need an X display (MIREL_GUI_DISPLAY)")
  set(MIREL_XVFB Xvfb)
endif()
configure_file("${gui_dir}/wine_gui_run.sh.in" "${MIREL_GUI_TEST_RUN}" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# mirel_add_gui_test(<name> SOURCES <files...> LIBS <targets...> [NO_DISPLAY])
function(mirel_add_gui_test name)
  cmake_parse_arguments(T "NO_DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest ${MIREL_TEST_MAIN} mirel_testing
                        mirel_warnings)
  add_dependencies(${name} mirel_gui_wine_prefixes)
  set(runner "${MIREL_GUI_TEST_RUN}")
  if(T_NO_DISPLAY)
    set(runner /usr/bin/env MIREL_GUI_DISPLAY=none "${MIREL_GUI_TEST_RUN}")
  endif()
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${runner}")
  # One window system per test program; dialogs of two programs on one display
  # would cover each other's windows, so they run one at a time.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endfunction()

mirel_add_gui_test(platform_gui_win32_tests
  SOURCES "${gui_dir}/dialog_template_test.cpp" "${gui_dir}/dialog_test.cpp"
          "${gui_dir}/win32_backend_test.cpp" "${gui_dir}/win32_gui_driver.cpp"
  LIBS mirel_gui mirel_resources mirel_os user32 gdi32)

# Without an X display no window can be made: dialogs fail with a result code.
mirel_add_gui_test(platform_gui_win32_display_tests NO_DISPLAY
  SOURCES "${gui_dir}/win32_no_display_test.cpp" "${gui_dir}/win32_gui_driver.cpp"
  LIBS mirel_gui mirel_os user32)
