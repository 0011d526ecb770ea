# Tests of tarnovacore/windows
tarnova_test(windows_runtime_tests
    windows/SynchronizationTest.cpp
    windows/SystemTest.cpp
)
tarnova_test(windows_time_tests
    windows/TimeUtilsTest.cpp
    windows/WinTimeTest.cpp
)
