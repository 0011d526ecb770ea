# Tests of tarnovacore/windows
tarnova_test(windows_runtime_tests
    windows/SynchronizationTest.cpp
    windows/SystemTest.cpp
)
tarnova_test(windows_time_tests
    windows/TimeUtilsTest.cpp
    windows/WinTimeTest.cpp
)
tarnova_test(prop_variant_test
    windows/prop_variant_test.cpp
    windows/prop_variant_conv_test.cpp
    windows/error_msg_test.cpp
)
tarnova_test(file_name_test windows/file_name_test.cpp)
tarnova_test(file_find_test windows/file_find_test.cpp)
tarnova_test(file_io_test windows/file_io_test.cpp)
tarnova_test(file_dir_test windows/file_dir_test.cpp)
