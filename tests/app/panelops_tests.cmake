# The panel's operations: the copy-to dialog, copy and move, folder operations, the runner steps.
tarnova_app_test(copywindow_test ${CMAKE_CURRENT_LIST_DIR}/copywindow_test.cpp)

# A picture of the copy-to dialog under Xvfb.
add_executable(copywindow_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/copywindow_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(copywindow_screenshot_test PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(copywindow_screenshot_test PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(copywindow_screenshot_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME CopyWindowScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:copywindow_screenshot_test>)
set_tests_properties(CopyWindowScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;TARNOVA_TEST_OUTPUT_DIR=${TARNOVA_OUTPUT_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")

# Folder operations, copy and move, on disk and inside archives; the codec plug-in lies beside
# the program, not beside the tests.
tarnova_app_test(panel_ops_tests ${CMAKE_CURRENT_LIST_DIR}/panel_ops_test.cpp)
add_dependencies(panel_ops_tests codecplugin)
target_compile_definitions(panel_ops_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
tarnova_app_test(panel_runner_tests ${CMAKE_CURRENT_LIST_DIR}/panel_runner_test.cpp)
add_dependencies(panel_runner_tests codecplugin)
target_compile_definitions(panel_runner_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
