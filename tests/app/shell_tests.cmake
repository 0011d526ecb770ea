# Start-up, module, dialog base, message boxes, input dialog, about box, main window.
tarnova_app_test(shell_tests
    ${CMAKE_CURRENT_LIST_DIR}/shell_environment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_module_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_basewindow_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_dialog_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_window_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_image_tests.cpp)
target_compile_definitions(shell_tests PRIVATE TARNOVA_APP_SOURCE_DIR="${CMAKE_SOURCE_DIR}/app")

# The whole run of the program, with its own application object.
tarnova_app_test(shell_startup_tests ${CMAKE_CURRENT_LIST_DIR}/shell_startup_tests.cpp)

# Screenshots of the dialogs under Xvfb, written to the build folder to be looked at.
tarnova_screenshot_test(ShellScreenshots shell_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/shell_screenshot_tests.cpp)
