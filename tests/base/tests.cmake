# Tests of tarnovacore/base
tarnova_test(base_runtime_tests
    base/alloc_test.cpp
    base/sort_test.cpp
    base/threads_test.cpp
)
