# Tests of the Qt program. Each area keeps its own fragment.
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

# tarnova_app_test(name sources...): a test program linked to the real windows. The offscreen
# platform is chosen by the tests' own start-up (app_test_support.h): a second variable here would
# be split off by the discovered tests' property list.
function(tarnova_app_test name)
    add_executable(${name} ${ARGN} ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
    target_link_libraries(${name} PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin AUTOMOC ON)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "TARNOVA_TEST_OUTPUT_DIR=${TARNOVA_OUTPUT_DIR}")
endfunction()

include(app/shell_tests.cmake OPTIONAL)
include(app/setting_tests.cmake OPTIONAL)
include(app/progress_tests.cmake OPTIONAL)
include(app/folders_tests.cmake OPTIONAL)
include(app/extract_tests.cmake OPTIONAL)
include(app/compress_tests.cmake OPTIONAL)
include(app/panel_tests.cmake OPTIONAL)
include(app/panelops_tests.cmake OPTIONAL)
include(app/openitems_tests.cmake OPTIONAL)
include(app/menus_tests.cmake OPTIONAL)
