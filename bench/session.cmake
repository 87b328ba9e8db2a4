# Line benchmark: a paced Download and Dump through the simulated board.
add_executable(pelorin-bench-line line_bench.cpp ${PROJECT_SOURCE_DIR}/tests/e2e/child_process.cpp)
target_link_libraries(pelorin-bench-line PRIVATE pelorin_sim_link)
target_compile_definitions(pelorin-bench-line PRIVATE PELORIN_SIM_PATH="$<TARGET_FILE:pelorin-sim>")
add_dependencies(pelorin-bench-line pelorin-sim)

# Vanish benchmark: the time from a board going away to the command line's exit.
add_executable(pelorin-bench-vanish vanish_bench.cpp ${PROJECT_SOURCE_DIR}/tests/e2e/child_process.cpp)
target_compile_definitions(pelorin-bench-vanish PRIVATE PELORIN_SIM_PATH="$<TARGET_FILE:pelorin-sim>"
  PELORIN_CLI_PATH="$<TARGET_FILE:pelorin-cli>")
add_dependencies(pelorin-bench-vanish pelorin-sim pelorin-cli)

# Production line benchmarks: several boards at once, and the repeat's answer to a new board.
foreach(name parallel repeat)
  add_executable(pelorin-bench-${name} ${name}_bench.cpp ${PROJECT_SOURCE_DIR}/tests/e2e/child_process.cpp)
  target_link_libraries(pelorin-bench-${name} PRIVATE pelorin_sim_link)
  target_compile_definitions(pelorin-bench-${name} PRIVATE PELORIN_SIM_PATH="$<TARGET_FILE:pelorin-sim>"
    PELORIN_CLI_PATH="$<TARGET_FILE:pelorin-cli>")
  add_dependencies(pelorin-bench-${name} pelorin-sim pelorin-cli)
endforeach()
