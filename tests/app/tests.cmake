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

# tarnova_screenshot_test(test target sources...): a program that writes pictures of real windows
# under Xvfb into the build folder, to be looked at.
function(tarnova_screenshot_test test target)
    add_executable(${target} ${ARGN} ${CMAKE_SOURCE_DIR}/tests/test_environment.cpp)
    target_link_libraries(${target} PRIVATE tarnovaapp Qt5::Test GTest::gtest GTest::gtest_main)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    add_test(NAME ${test} COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${target}>)
    # One Xvfb at a time: parallel xvfb-run -a calls can pick the same display number.
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK xvfb ENVIRONMENT
        "QT_QPA_PLATFORM=xcb;TARNOVA_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;TARNOVA_TEST_OUTPUT_DIR=${TARNOVA_OUTPUT_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
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
