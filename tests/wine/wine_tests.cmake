# Tests of a Windows build, run under Wine: GoogleTest built from Debian's sources with the
# same toolchain, and one wineserver kept up for the whole test run in a private prefix.
set(PELORIN_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${PELORIN_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${PELORIN_GTEST_SOURCE_DIR} (Debian: googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${PELORIN_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# mkdtemp, which the portable tests use for scratch directories, for the Windows runtime.
add_library(pelorin_posix_shim INTERFACE)
target_compile_options(pelorin_posix_shim INTERFACE
                       -include ${CMAKE_CURRENT_LIST_DIR}/posix_shim.h)
link_libraries(pelorin_posix_shim)

# One wineserver for the whole run, in the prefix the emulator uses; stopped even after
# failures. Every test of this build requires it.
set(PELORIN_WINEPREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
add_test(NAME wine_server_start
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-server.sh start ${PELORIN_WINEPREFIX})
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
add_test(NAME wine_server_stop
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-server.sh stop ${PELORIN_WINEPREFIX})
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
set(PELORIN_TEST_PROPERTIES FIXTURES_REQUIRED wine)

# Linux programs for the serial tests, built with the host's compiler: the pseudo-terminal
# pair that Wine shows as COM40 and COM41, and the library that gives pseudo-terminals modem
# lines (run with it, Wine's comm event waits wait as on Windows).
find_program(PELORIN_HOST_CC NAMES cc gcc clang REQUIRED)
set(PELORIN_PTY_BRIDGE ${PROJECT_BINARY_DIR}/tests/wine/pelorin-pty-bridge)
set(PELORIN_PTY_MODEM_PRELOAD ${PROJECT_BINARY_DIR}/tests/wine/libpelorin_pty_modem.so)
add_custom_command(
  OUTPUT ${PELORIN_PTY_BRIDGE}
  COMMAND ${PELORIN_HOST_CC} -O2 -Wall -o ${PELORIN_PTY_BRIDGE}
          ${CMAKE_CURRENT_LIST_DIR}/pty_bridge.c -lutil
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/pty_bridge.c
  COMMENT "Building the COM port pair for Wine (host compiler)" VERBATIM)
add_custom_command(
  OUTPUT ${PELORIN_PTY_MODEM_PRELOAD}
  COMMAND ${PELORIN_HOST_CC} -O2 -Wall -shared -fPIC -o ${PELORIN_PTY_MODEM_PRELOAD}
          ${CMAKE_CURRENT_LIST_DIR}/pty_modem_preload.c -ldl
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/pty_modem_preload.c
  COMMENT "Building the pseudo-terminal modem lines library (host compiler)" VERBATIM)
add_custom_target(pelorin_wine_host_tools ALL
                  DEPENDS ${PELORIN_PTY_BRIDGE} ${PELORIN_PTY_MODEM_PRELOAD})

add_test(NAME wine_ports_start COMMAND ${CMAKE_CURRENT_LIST_DIR}/pty-bridge.sh start
                                       ${PELORIN_PTY_BRIDGE} ${PELORIN_WINEPREFIX})
set_tests_properties(wine_ports_start PROPERTIES FIXTURES_SETUP wine_ports
                     FIXTURES_REQUIRED wine TIMEOUT 30)
add_test(NAME wine_ports_stop COMMAND ${CMAKE_CURRENT_LIST_DIR}/pty-bridge.sh stop
                                      ${PELORIN_WINEPREFIX})
set_tests_properties(wine_ports_stop PROPERTIES FIXTURES_CLEANUP wine_ports
                     FIXTURES_REQUIRED wine TIMEOUT 30)

# The Windows command line against the Linux simulated board, from a Linux build tree.
set(PELORIN_LINUX_SIM ${PROJECT_SOURCE_DIR}/build/debug/sim/pelorin-sim
    CACHE FILEPATH "pelorin-sim of a Linux build, for the end-to-end test under Wine")
add_test(NAME pelorin_cli_sim_wine
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/cli-sim-e2e.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:pelorin-cli> ${PELORIN_LINUX_SIM} ${PELORIN_WINEPREFIX})
set_tests_properties(pelorin_cli_sim_wine PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
                     SKIP_RETURN_CODE 77)
