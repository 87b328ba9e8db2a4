# Start-up of the window program: time until the main window is shown (offscreen).
if(PELORIN_BUILD_UI)
  add_executable(pelorin-bench-startup ${CMAKE_CURRENT_LIST_DIR}/ui_startup_bench.cpp)
  target_link_libraries(pelorin-bench-startup PRIVATE pelorin_ui)
endif()
