# Progress state, workers, the progress window and its prompts.
tarnova_app_test(progress_sync_test ${CMAKE_CURRENT_LIST_DIR}/progress_sync_test.cpp)
tarnova_app_test(progress_format_test ${CMAKE_CURRENT_LIST_DIR}/progress_format_test.cpp)
tarnova_app_test(progress_window_test ${CMAKE_CURRENT_LIST_DIR}/progress_window_test.cpp)
