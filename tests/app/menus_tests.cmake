# The panel's context menu, properties, thumbnails of pictures, drag out of archives.
tarnova_app_test(panel_menu_tests ${CMAKE_CURRENT_LIST_DIR}/panel_menu_test.cpp)
add_dependencies(panel_menu_tests codecplugin)
target_compile_definitions(panel_menu_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")

# Pictures of the context menu and of thumbnails under Xvfb.
tarnova_screenshot_test(PanelMenuScreenshots panel_menu_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/panel_menu_screenshot_test.cpp)
add_dependencies(panel_menu_screenshot_tests codecplugin)
target_compile_definitions(panel_menu_screenshot_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
