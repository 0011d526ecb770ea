# Compression front-end: option lists, update callback, the compress dialog and whole runs.
tarnova_app_test(compress_options_test ${CMAKE_CURRENT_LIST_DIR}/compress_options_test.cpp)
tarnova_app_test(compress_dialog_test ${CMAKE_CURRENT_LIST_DIR}/compress_dialog_test.cpp)
add_dependencies(compress_dialog_test codecplugin)

# Screenshots of the compress dialog under Xvfb, written to the build folder.
add_executable(compress_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/compress_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(compress_screenshot_test PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(compress_screenshot_test PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(compress_screenshot_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME CompressScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:compress_screenshot_test>)
set_tests_properties(CompressScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;TARNOVA_TEST_OUTPUT_DIR=${TARNOVA_OUTPUT_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
