# Disk folders: listing a large folder against find | sort, copying a large file against cp.
if(TARGET tarnovaapp)
    add_executable(folders_bench ${CMAKE_CURRENT_LIST_DIR}/folders_bench.cpp)
    target_link_libraries(folders_bench PRIVATE tarnovaapp)
    set_target_properties(folders_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
