# Tests of tarnovacore/archive

# The interface headers are the plug-in's binary contract: each compiles alone, and the slot-order
# test links none of the core, as codecplugin/ will not.
add_executable(iface_headers_test
    archive/iface_slots_test.cpp
    archive/headers_alone/my_windows_alone.cpp
    archive/headers_alone/my_unknown_alone.cpp
    archive/headers_alone/interface_ids_alone.cpp
    archive/headers_alone/my_com_alone.cpp
    archive/headers_alone/iprogress_alone.cpp
    archive/headers_alone/istream_alone.cpp
    archive/headers_alone/istream_file_descriptor_alone.cpp
    archive/headers_alone/icoder_alone.cpp
    archive/headers_alone/ipassword_alone.cpp
    archive/headers_alone/iarchive_alone.cpp
    archive/headers_alone/prop_id_alone.cpp
)
target_include_directories(iface_headers_test PRIVATE ${CMAKE_SOURCE_DIR}/tarnovacore)
target_link_libraries(iface_headers_test PRIVATE GTest::gtest GTest::gtest_main)
set_target_properties(iface_headers_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
gtest_discover_tests(iface_headers_test DISCOVERY_TIMEOUT 60)

# A stand-in plug-in built like codecplugin/: interface headers only, hidden visibility, -z defs.
add_library(iface_probe MODULE archive/iface_probe_plugin.cpp)
target_include_directories(iface_probe PRIVATE ${CMAKE_SOURCE_DIR}/tarnovacore)
target_compile_options(iface_probe PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
target_link_options(iface_probe PRIVATE -Wl,-z,defs)
set_target_properties(iface_probe PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
tarnova_test(iface_probe_test archive/iface_probe_test.cpp)
target_compile_definitions(iface_probe_test PRIVATE TARNOVA_IFACE_PROBE_PATH="$<TARGET_FILE:iface_probe>")
add_dependencies(iface_probe_test iface_probe)
tarnova_test(streams_test archive/streams_test.cpp)
tarnova_test(copy_coder_test archive/copy_coder_test.cpp)
tarnova_test(filter_coder_test archive/filter_coder_test.cpp)
tarnova_test(file_streams_test archive/file_streams_test.cpp)
tarnova_test(method_props_test archive/method_props_test.cpp)
tarnova_test(extracting_file_path_test archive/extracting_file_path_test.cpp)
tarnova_test(work_dir_test archive/work_dir_test.cpp)
tarnova_test(prop_id_utils_test archive/prop_id_utils_test.cpp)
tarnova_test(enum_dir_items_test archive/enum_dir_items_test.cpp)

# Small plug-in libraries for the registry tests, built against the interface headers only; the
# tests copy the ones they need into a plug-in folder of their own.
set(REGISTRY_PROBES_DIR ${CMAKE_BINARY_DIR}/tests/registry-probes)
set(REGISTRY_PROBE_TARGETS)
foreach(variant alpha delta noclsid classid15 classid17 wrongtype nocreate single codecs badcodec)
    set(probe registry_probe_${variant})
    add_library(${probe} MODULE archive/registry_probe_plugin.cpp)
    string(TOUPPER ${variant} upper)
    target_compile_definitions(${probe} PRIVATE PROBE_NAME="${variant}" PROBE_${upper})
    if(variant STREQUAL "codecs" OR variant STREQUAL "badcodec")
        target_compile_definitions(${probe} PRIVATE PROBE_CODECS)
    else()
        target_compile_definitions(${probe} PRIVATE PROBE_FORMATS)
    endif()
    target_include_directories(${probe} PRIVATE ${CMAKE_SOURCE_DIR}/tarnovacore)
    target_compile_options(${probe} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
    set_target_properties(${probe} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${REGISTRY_PROBES_DIR})
    list(APPEND REGISTRY_PROBE_TARGETS ${probe})
endforeach()

foreach(test registry_test create_coder_test)
    tarnova_test(${test} archive/${test}.cpp)
    target_compile_definitions(${test} PRIVATE TARNOVA_REGISTRY_PROBES_DIR="${REGISTRY_PROBES_DIR}")
    add_dependencies(${test} ${REGISTRY_PROBE_TARGETS})
    if(TARGET codecplugin)
        add_dependencies(${test} codecplugin)
    endif()
endforeach()
tarnova_test(update_pair_test archive/update_pair_test.cpp)
tarnova_test(multi_volume_test archive/multi_volume_test.cpp)
tarnova_test(open_archive_test archive/open_archive_test.cpp)
add_dependencies(open_archive_test codecplugin)
tarnova_test(open_archive_inproc_test archive/open_archive_inproc_test.cpp)
tarnova_test(work_dir_temp_file_test archive/work_dir_temp_file_test.cpp)
tarnova_test(hash_calc_test archive/hash_calc_test.cpp)
tarnova_test(extract_test archive/extract_test.cpp)
tarnova_test(hostile_extract_test archive/hostile_extract_test.cpp)
if(TARGET codecplugin)
    add_dependencies(hash_calc_test codecplugin)
    add_dependencies(extract_test codecplugin)
    add_dependencies(hostile_extract_test codecplugin)
endif()
tarnova_test(update_test archive/update_test.cpp)
if(TARGET codecplugin)
    add_dependencies(update_test codecplugin)
endif()
tarnova_test(update_callback_test archive/update_callback_test.cpp)
tarnova_test(archive_command_line_test archive/archive_command_line_test.cpp)
tarnova_test(command_runner_test archive/command_runner_test.cpp)
if(TARGET codecplugin)
    add_dependencies(command_runner_test codecplugin)
endif()
tarnova_test(agent_update_callback_test archive/agent_update_callback_test.cpp)
foreach(test agent_proxy_test agent_test agent_folder_test archive_folder_manager_test)
    tarnova_test(${test} archive/${test}.cpp)
    if(TARGET codecplugin)
        add_dependencies(${test} codecplugin)
    endif()
endforeach()
tarnova_test(agent_no_formats_test archive/agent_no_formats_test.cpp)
foreach(test agent_update_test archive_folder_test)
    tarnova_test(${test} archive/${test}.cpp)
    if(TARGET codecplugin)
        add_dependencies(${test} codecplugin)
    endif()
endforeach()
# Faults found on real archives from other tools.
foreach(test zip_faults_test archive_faults_test update_faults_test)
    tarnova_test(${test} archive/${test}.cpp)
    if(TARGET codecplugin)
        add_dependencies(${test} codecplugin)
    endif()
endforeach()
# Zip and gzip on several threads: read back by Debian's tools, cancelled runs.
tarnova_test(parallel_compress_test archive/parallel_compress_test.cpp)
if(TARGET codecplugin)
    add_dependencies(parallel_compress_test codecplugin)
endif()
