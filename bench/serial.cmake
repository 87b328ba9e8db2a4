# Serial link benchmark: notification latency and monitor CPU on a pseudo-terminal.
add_executable(pelorin-bench-serial serial_bench.cpp)
target_link_libraries(pelorin-bench-serial PRIVATE pelorin_engine util)
