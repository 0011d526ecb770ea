# The browser window: start-up switches, navigation, item list, views, drag and drop.
tarnova_app_test(panel_tests ${CMAKE_CURRENT_LIST_DIR}/panel_test.cpp)
# The codec plug-in lies beside the program, not beside the tests.
add_dependencies(panel_tests codecplugin)
target_compile_definitions(panel_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")

# Pictures of the main window under Xvfb, written to the build folder to be looked at.
add_executable(panel_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/panel_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(panel_screenshot_tests PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(panel_screenshot_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(panel_screenshot_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_dependencies(panel_screenshot_tests codecplugin)
target_compile_definitions(panel_screenshot_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
add_test(NAME PanelScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:panel_screenshot_tests>)
set_tests_properties(PanelScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
