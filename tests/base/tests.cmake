# Tests of tarnovacore/base
tarnova_test(base_runtime_tests
    base/AllocTest.cpp
    base/SortTest.cpp
    base/ThreadsTest.cpp
)
