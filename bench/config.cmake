# Benchmarks of config/: the data file preparation.
add_executable(pelorin-bench-prepare ${CMAKE_CURRENT_LIST_DIR}/config_bench_prepare.cpp)
target_link_libraries(pelorin-bench-prepare PRIVATE pelorin_engine)
