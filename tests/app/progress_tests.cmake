# Progress state, workers, the progress window and its prompts.
tarnova_app_test(progress_sync_test app/progress_sync_test.cpp)
tarnova_app_test(progress_format_test app/progress_format_test.cpp)
