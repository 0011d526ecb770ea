# The browser window: start-up switches, navigation, item list, views, drag and drop.
tarnova_app_test(panel_tests ${CMAKE_CURRENT_LIST_DIR}/panel_test.cpp)
# The codec plug-in lies beside the program, not beside the tests.
add_dependencies(panel_tests codecplugin)
target_compile_definitions(panel_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")

# Pictures of the main window under Xvfb, written to the build folder to be looked at.
tarnova_screenshot_test(PanelScreenshots panel_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/panel_screenshot_test.cpp)
add_dependencies(panel_screenshot_tests codecplugin)
target_compile_definitions(panel_screenshot_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
