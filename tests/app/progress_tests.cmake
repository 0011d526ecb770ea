# Progress state, workers, the progress window and its prompts.
tarnova_app_test(progress_sync_test ${CMAKE_CURRENT_LIST_DIR}/progress_sync_test.cpp)
tarnova_app_test(progress_format_test ${CMAKE_CURRENT_LIST_DIR}/progress_format_test.cpp)
tarnova_app_test(progress_window_test ${CMAKE_CURRENT_LIST_DIR}/progress_window_test.cpp)
tarnova_app_test(progress_prompt_test ${CMAKE_CURRENT_LIST_DIR}/progress_prompt_test.cpp)

# Screenshots of the progress window and the prompts under Xvfb, written to the build folder.
tarnova_screenshot_test(ProgressScreenshots progress_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/progress_screenshot_test.cpp)
