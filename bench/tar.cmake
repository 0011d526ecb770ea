# Creating a plain tar of a tree of many small files through the update engine, side by side with GNU tar.
add_executable(tar_bench ${CMAKE_CURRENT_LIST_DIR}/tar_bench.cpp)
target_link_libraries(tar_bench PRIVATE tarnovacore)
target_include_directories(tar_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
set_target_properties(tar_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
if(TARGET codecplugin)
    add_dependencies(tar_bench codecplugin)
endif()
