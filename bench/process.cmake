# The engine's command line as a program, and whole-process benchmarks of it against GNU tar and cp.
add_executable(engine_command ${CMAKE_CURRENT_LIST_DIR}/engine_command.cpp)
target_link_libraries(engine_command PRIVATE tarnovacore)
target_include_directories(engine_command PRIVATE ${PROJECT_SOURCE_DIR}/tests)
set_target_properties(engine_command PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_executable(process_bench ${CMAKE_CURRENT_LIST_DIR}/process_bench.cpp)
set_target_properties(process_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(process_bench engine_command codecplugin)
