# A flat archive level in the window: open, sort and leave (Up and Home) side by side.
if(TARGET tarnovaapp)
    add_executable(level_bench ${CMAKE_CURRENT_LIST_DIR}/level_bench.cpp)
    target_link_libraries(level_bench PRIVATE tarnovaapp)
    set_target_properties(level_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
