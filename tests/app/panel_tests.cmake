# The browser window: start-up switches, navigation, item list, views, drag and drop.
tarnova_app_test(panel_tests ${CMAKE_CURRENT_LIST_DIR}/panel_test.cpp)
# The codec plug-in lies beside the program, not beside the tests.
add_dependencies(panel_tests codecplugin)
target_compile_definitions(panel_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
