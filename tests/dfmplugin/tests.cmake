# The context-menu plug-in, loaded the way the file manager loads it.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets)
add_executable(dfmplugin_test dfmplugin/plugin_host_test.cpp ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
target_link_libraries(dfmplugin_test PRIVATE Qt5::Widgets GTest::gtest)
target_include_directories(dfmplugin_test PRIVATE ${CMAKE_SOURCE_DIR}/dfmplugin)
target_compile_definitions(dfmplugin_test PRIVATE TARNOVA_MENU_PLUGIN="$<TARGET_FILE:rovuzu-tarnova>")
set_target_properties(dfmplugin_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
add_dependencies(dfmplugin_test rovuzu-tarnova)
gtest_discover_tests(dfmplugin_test DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
