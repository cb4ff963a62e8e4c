# The request flow against the simulated device on a pseudo-terminal.
add_unit_test(requests_DispatcherFlow
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DispatcherFlow.cpp
  LIBS requests sim_test_support)
target_include_directories(requests_DispatcherFlow PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
