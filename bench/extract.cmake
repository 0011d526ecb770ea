# Extraction of many small files from a tar, side by side with bsdtar: time and peak memory.
add_executable(extract_bench extract_bench.cpp)
target_link_libraries(extract_bench PRIVATE tarnovacore)
if(TARGET codecplugin)
    add_dependencies(extract_bench codecplugin)
endif()
