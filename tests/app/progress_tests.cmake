# Progress state, workers, the progress window and its prompts.
tarnova_app_test(progress_sync_test ${CMAKE_CURRENT_LIST_DIR}/progress_sync_test.cpp)
tarnova_app_test(progress_format_test ${CMAKE_CURRENT_LIST_DIR}/progress_format_test.cpp)
tarnova_app_test(progress_window_test ${CMAKE_CURRENT_LIST_DIR}/progress_window_test.cpp)
tarnova_app_test(progress_prompt_test ${CMAKE_CURRENT_LIST_DIR}/progress_prompt_test.cpp)

# Screenshots of the progress window and the prompts under Xvfb, written to the build folder.
add_executable(progress_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/progress_screenshot_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(progress_screenshot_test PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
target_include_directories(progress_screenshot_test PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
set_target_properties(progress_screenshot_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_test(NAME ProgressScreenshots
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:progress_screenshot_test>)
set_tests_properties(ProgressScreenshots PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
    "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
