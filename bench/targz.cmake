# Extraction of a tar.gz as two whole processes, ours (extract_bench --only) against bsdtar -xf.
add_executable(targz_bench ${CMAKE_CURRENT_LIST_DIR}/targz_bench.cpp)
add_dependencies(targz_bench extract_bench)
