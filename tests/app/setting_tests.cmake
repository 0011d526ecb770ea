# Settings store, settings records, associations and the settings dialog.
add_executable(setting_writer app/setting_writer.cpp)
target_link_libraries(setting_writer PRIVATE tarnovaapp)
set_target_properties(setting_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)

tarnova_app_test(setting_store_test
    app/cppsqlite3_test.cpp
    app/options_test.cpp
    app/options_processes_test.cpp
)
target_compile_definitions(setting_store_test PRIVATE TARNOVA_SETTING_WRITER="$<TARGET_FILE:setting_writer>")
add_dependencies(setting_store_test setting_writer)

tarnova_app_test(setting_records_test
    app/zip_registry_test.cpp
    app/ext_database_test.cpp
)
