# 7z creation and extraction through the plug-in against libarchive's bsdtar, on a generated tree.
add_executable(bench_sevenzip
    ${CMAKE_CURRENT_LIST_DIR}/sevenzip_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/codecplugin/PluginHarness.cpp)
target_include_directories(bench_sevenzip PRIVATE ${CMAKE_SOURCE_DIR}/tarnovacore ${CMAKE_SOURCE_DIR}/tests/codecplugin)
target_link_libraries(bench_sevenzip PRIVATE tarnovacore ${CMAKE_DL_LIBS})
target_compile_definitions(bench_sevenzip PRIVATE TARNOVA_PLUGIN_DIR="${TARNOVA_OUTPUT_DIR}")
add_dependencies(bench_sevenzip codecplugin)
