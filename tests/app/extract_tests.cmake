# Extraction, testing and checksums through the real dialogs; the extraction callback, the
# in-memory target and the extract dialog.
tarnova_app_test(extract_run_test ${CMAKE_CURRENT_LIST_DIR}/extract_run_test.cpp)
tarnova_app_test(extract_parts_test ${CMAKE_CURRENT_LIST_DIR}/extract_parts_test.cpp)

# Screenshots of the extract dialog and the checksum result box under Xvfb.
tarnova_screenshot_test(ExtractScreenshots extract_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/extract_screenshot_test.cpp)
