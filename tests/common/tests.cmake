# Tests of tarnovacore/common
tarnova_test(string_test common/string_test.cpp)
tarnova_test(convert_test common/convert_test.cpp)
tarnova_test(stdout_test common/stdout_test.cpp)
tarnova_test(wildcard_test common/wildcard_test.cpp)
tarnova_test(com_test common/com_test.cpp)
tarnova_test(my_windows_test common/my_windows_test.cpp)
tarnova_test(interface_ids_test common/interface_ids_test.cpp)
