# Start-up, module, dialog base, message boxes, input dialog, about box, main window.
tarnova_app_test(shell_window_tests ${CMAKE_CURRENT_LIST_DIR}/shell_window_tests.cpp)
