# Tests of tarnovacore/windows
tarnova_test(windows_runtime_tests
    windows/synchronization_test.cpp
    windows/system_test.cpp
)
tarnova_test(windows_time_tests
    windows/time_utils_test.cpp
    windows/win_time_test.cpp
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

# Stand-in plug-ins for the library loader: one with the switches and the hook, one with neither.
foreach(module dll_hook_module dll_plain_module)
    add_library(${module} MODULE windows/${module}.cpp)
    set_target_properties(${module} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    # The module's own references bind to its own variables, as a real plug-in's do.
    target_link_options(${module} PRIVATE -Wl,-Bsymbolic)
endforeach()
tarnova_test(dll_test windows/dll_test.cpp)
target_compile_definitions(dll_test PRIVATE TARNOVA_TEST_MODULE_DIR="${CMAKE_BINARY_DIR}/tests/bin")
add_dependencies(dll_test dll_hook_module dll_plain_module)
