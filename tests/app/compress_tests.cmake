# Compression front-end: option lists, update callback, the compress dialog and whole runs.
tarnova_app_test(compress_options_test ${CMAKE_CURRENT_LIST_DIR}/compress_options_test.cpp)
tarnova_app_test(compress_dialog_test ${CMAKE_CURRENT_LIST_DIR}/compress_dialog_test.cpp)
add_dependencies(compress_dialog_test codecplugin)

# Screenshots of the compress dialog under Xvfb, written to the build folder.
tarnova_screenshot_test(CompressScreenshots compress_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/compress_screenshot_test.cpp)

# Cancel and pause of multi-threaded compression through the progress window.
tarnova_app_test(compress_cancel_test ${CMAKE_CURRENT_LIST_DIR}/compress_cancel_test.cpp)
add_dependencies(compress_cancel_test codecplugin)
