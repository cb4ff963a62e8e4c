# The traffic monitor's window against the simulated device.
add_unit_test(ui_MonitorWindow
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MonitorWindow.cpp
  LIBS ui_test_support sim_test_support)
target_include_directories(ui_MonitorWindow PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
