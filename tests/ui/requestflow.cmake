# The main window's request flow against the simulated device.
add_unit_test(ui_RequestFlowWindow
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/RequestFlowWindow.cpp
  LIBS ui_test_support sim_test_support)
target_include_directories(ui_RequestFlowWindow PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
