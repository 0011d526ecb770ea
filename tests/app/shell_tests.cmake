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
add_executable(shell_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/shell_screenshot_tests.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(shell_screenshot_tests PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(shell_screenshot_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(shell_screenshot_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME ShellScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:shell_screenshot_tests>)
# One Xvfb at a time: parallel xvfb-run -a calls can pick the same display number.
set_tests_properties(ShellScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
