# Browser window: a large folder and a large archive shown in the real widgets, against the bare
# listing of the folder and of the agent.
if(TARGET tarnovaapp)
    add_executable(panel_bench ${CMAKE_CURRENT_LIST_DIR}/panel_bench.cpp)
    target_link_libraries(panel_bench PRIVATE tarnovaapp)
    set_target_properties(panel_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
