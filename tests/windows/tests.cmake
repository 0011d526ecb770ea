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
