# The panel's operations: the copy-to dialog, copy and move, folder operations, the runner steps.
tarnova_app_test(copywindow_test ${CMAKE_CURRENT_LIST_DIR}/copywindow_test.cpp)

# A picture of the copy-to dialog under Xvfb.
tarnova_screenshot_test(CopyWindowScreenshots copywindow_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/copywindow_screenshot_test.cpp)

# Folder operations, copy and move, on disk and inside archives; the codec plug-in lies beside
# the program, not beside the tests.
tarnova_app_test(panel_ops_tests ${CMAKE_CURRENT_LIST_DIR}/panel_ops_test.cpp)
add_dependencies(panel_ops_tests codecplugin)
target_compile_definitions(panel_ops_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
tarnova_app_test(panel_runner_tests ${CMAKE_CURRENT_LIST_DIR}/panel_runner_test.cpp)
add_dependencies(panel_runner_tests codecplugin)
target_compile_definitions(panel_runner_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")

# The start-up switches as processes of their own. The answering program needs the codec plug-in
# in its own folder, as the real program has it; a second copy lies in a folder without it.
set(TARNOVA_STARTUP_DIR ${CMAKE_BINARY_DIR}/tests/startup)
add_executable(tarnova_answering ${CMAKE_CURRENT_LIST_DIR}/startup_answering_main.cpp)
target_link_libraries(tarnova_answering PRIVATE tarnovaapp)
set_target_properties(tarnova_answering PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARNOVA_STARTUP_DIR}/with-plugin)
add_dependencies(tarnova_answering codecplugin)
add_custom_command(TARGET tarnova_answering POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:codecplugin> ${TARNOVA_STARTUP_DIR}/with-plugin/7z.so
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNOVA_STARTUP_DIR}/without-plugin
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tarnova_answering> ${TARNOVA_STARTUP_DIR}/without-plugin/)
tarnova_app_test(startup_process_tests ${CMAKE_CURRENT_LIST_DIR}/startup_process_test.cpp)
add_dependencies(startup_process_tests tarnova tarnova_answering)
target_compile_definitions(startup_process_tests PRIVATE
    TARNOVA_PROGRAM="$<TARGET_FILE:tarnova>"
    TARNOVA_ANSWERING_PROGRAM="${TARNOVA_STARTUP_DIR}/with-plugin/tarnova_answering"
    TARNOVA_ANSWERING_NOPLUGIN="${TARNOVA_STARTUP_DIR}/without-plugin/tarnova_answering"
    TARNOVA_LSAN_SUPP="${CMAKE_SOURCE_DIR}/tests/lsan.supp")
