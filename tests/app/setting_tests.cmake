# Settings store, settings records, associations and the settings dialog.
add_executable(setting_writer app/setting_writer.cpp)
target_link_libraries(setting_writer PRIVATE tarnovaapp)
set_target_properties(setting_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)

tarnova_app_test(setting_store_test
    app/cppsqlite3_test.cpp
    app/options_test.cpp
    app/options_processes_test.cpp
)
target_compile_definitions(setting_store_test PRIVATE TARNOVA_SETTING_WRITER="$<TARGET_FILE:setting_writer>")
add_dependencies(setting_store_test setting_writer)

tarnova_app_test(setting_records_test
    app/zip_registry_test.cpp
    app/ext_database_test.cpp
)

tarnova_app_test(settingwindow_test app/settingwindow_test.cpp)

# Screenshots of the settings dialog under Xvfb, into the build folder.
add_executable(settingwindow_screenshot app/settingwindow_screenshot.cpp ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(settingwindow_screenshot PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(settingwindow_screenshot PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
target_compile_definitions(settingwindow_screenshot PRIVATE TARNOVA_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
set_target_properties(settingwindow_screenshot PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME SettingWindowScreenshots COMMAND xvfb-run -a $<TARGET_FILE:settingwindow_screenshot>)
set_tests_properties(SettingWindowScreenshots PROPERTIES RESOURCE_LOCK xvfb
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
