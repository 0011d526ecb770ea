# The program's -open of a zip of many empty entries: memory per entry above the idle window.
if(TARGET tarnovaapp)
    add_executable(open_memory_bench ${CMAKE_CURRENT_LIST_DIR}/open_memory_bench.cpp)
    target_link_libraries(open_memory_bench PRIVATE tarnovaapp)
    set_target_properties(open_memory_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
