# The panel's context menu, properties, thumbnails of pictures, drag out of archives.
tarnova_app_test(panel_menu_tests ${CMAKE_CURRENT_LIST_DIR}/panel_menu_test.cpp)
add_dependencies(panel_menu_tests codecplugin)
target_compile_definitions(panel_menu_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")

# Pictures of the context menu and of thumbnails under Xvfb.
add_executable(panel_menu_screenshot_tests ${CMAKE_CURRENT_LIST_DIR}/panel_menu_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(panel_menu_screenshot_tests PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(panel_menu_screenshot_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(panel_menu_screenshot_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_dependencies(panel_menu_screenshot_tests codecplugin)
target_compile_definitions(panel_menu_screenshot_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
add_test(NAME PanelMenuScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:panel_menu_screenshot_tests>)
set_tests_properties(PanelMenuScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
