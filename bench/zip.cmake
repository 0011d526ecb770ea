# Zip through the plug-in: adding a file to a large zip against cp, listing a zip of many entries
# through the agent against bsdtar -tf, creating a zip with threads against bsdtar.
add_executable(zip_bench ${CMAKE_CURRENT_LIST_DIR}/zip_bench.cpp)
target_link_libraries(zip_bench PRIVATE tarnovacore)
set_target_properties(zip_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(zip_bench codecplugin)
