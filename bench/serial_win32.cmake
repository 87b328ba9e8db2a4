# The Windows port monitor's CPU time on a quiet port (a COM port Wine maps to a
# pseudo-terminal, or a real one); scripts/bench-wine-monitor.sh drives it under Wine.
add_executable(pelorin-bench-monitor-idle ${CMAKE_CURRENT_LIST_DIR}/monitor_idle_win32.cpp)
target_link_libraries(pelorin-bench-monitor-idle PRIVATE pelorin_engine)
