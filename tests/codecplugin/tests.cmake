# Tests of the codec and format plug-in: it is loaded with dlopen from the output folder, as the
# program loads it, and fed archives made at test time by Debian's own tools.
tarnova_test(codecplugin_test
    codecplugin/PluginHarness.cpp
    codecplugin/registry_test.cpp
    codecplugin/formats_test.cpp
    codecplugin/extract_test.cpp
    codecplugin/write_test.cpp
    codecplugin/sevenzip_test.cpp
)
target_include_directories(codecplugin_test PRIVATE ${CMAKE_SOURCE_DIR}/tarnovacore)
target_link_libraries(codecplugin_test PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(codecplugin_test codecplugin)
