# The main dialog's tests on the Win32 backend, run under Wine on an X display:
# the same suites as on Qt, through the layer's test driver and the answers to
# the system's common dialogs (small_windows_win32.cpp). Included from
# tests/CMakeLists.txt in the Windows build, after
# tests/platform_gui/windows.cmake (mirel_add_gui_test and its runner).
set(ui_dir "${CMAKE_CURRENT_LIST_DIR}")
mirel_add_gui_test(ui_win32_tests
  SOURCES "${ui_dir}/dialog_driver.cpp" "${ui_dir}/main_dialog_test.cpp"
          "${ui_dir}/preview_pane_test.cpp" "${ui_dir}/../platform_gui/win32_gui_driver.cpp"
          "${ui_dir}/small_windows.h" "${ui_dir}/small_windows_win32.cpp"
          "${ui_dir}/file_dialogs_test.cpp" "${ui_dir}/small_windows_test.cpp"
          "${ui_dir}/psd_export_dialog_test.cpp" "${ui_dir}/memory_dots_dialog_test.cpp"
          "${ui_dir}/host_program_dialog_test.cpp"
  LIBS mirel_pictures mirel_host mirel_settings mirel_gui mirel_resources mirel_os user32 gdi32)
# The tests load the plug-in and run the host program.
add_dependencies(ui_win32_tests mirel_plugin mirel)

# Parts of the dialogs on their own need no window: an ordinary test program.
mirel_add_test(ui_parts_tests
  SOURCES "${ui_dir}/dialog_parts_test.cpp"
  LIBS mirel_ui mirel_settings mirel_resources)
