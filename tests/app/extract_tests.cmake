# Extraction, testing and checksums through the real dialogs; the extraction callback, the
# in-memory target and the extract dialog.
tarnova_app_test(extract_run_test ${CMAKE_CURRENT_LIST_DIR}/extract_run_test.cpp)
tarnova_app_test(extract_parts_test ${CMAKE_CURRENT_LIST_DIR}/extract_parts_test.cpp)

# Screenshots of the extract dialog and the checksum result box under Xvfb.
add_executable(extract_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/extract_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(extract_screenshot_test PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(extract_screenshot_test PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(extract_screenshot_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME ExtractScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:extract_screenshot_test>)
set_tests_properties(ExtractScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;TARNOVA_TEST_OUTPUT_DIR=${TARNOVA_OUTPUT_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
