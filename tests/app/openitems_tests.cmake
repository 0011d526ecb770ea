# Opening items: name checks, outside programs, the watch of temporary copies, write-back through
# nested archives, the item context menu.
tarnova_app_test(openitems_test
    ${CMAKE_CURRENT_LIST_DIR}/archive_write_back_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/item_name_checks_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/openitems_environment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/outside_programs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tmp_process_watcher_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/url_catcher.h
)
add_dependencies(openitems_test codecplugin)

# Opening items in the panel: nested archives, outside programs (fakes first on PATH) and the
# write-back of changed copies; the codec plug-in lies beside the program, not beside the tests.
tarnova_app_test(openitems_panel_tests ${CMAKE_CURRENT_LIST_DIR}/open_items_panel_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/url_catcher.h)
add_dependencies(openitems_panel_tests codecplugin)
target_compile_definitions(openitems_panel_tests PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}/")
