# Benchmarks of config/: the data file preparation.
add_executable(pelorin-bench-prepare ${CMAKE_CURRENT_LIST_DIR}/config_bench_prepare.cpp)
target_link_libraries(pelorin-bench-prepare PRIVATE pelorin_engine)

# Compression benchmark: default and best on a 2 MiB firmware-like image.
add_executable(pelorin-bench-compression ${CMAKE_CURRENT_LIST_DIR}/compression_bench.cpp)
target_link_libraries(pelorin-bench-compression PRIVATE pelorin_sim_link)

# Reading layout texts: a line at the length cap, a 1 MiB line, 1 MiB of ordinary lines.
add_executable(pelorin-bench-layout-read ${CMAKE_CURRENT_LIST_DIR}/layout_read_bench.cpp)
target_link_libraries(pelorin-bench-layout-read PRIVATE pelorin_engine)
