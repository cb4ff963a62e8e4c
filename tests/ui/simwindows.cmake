# The windows against the simulated device (the monitor, the request flow, the
# trend): served in-process on a thread,
# or under Wine by the line host, which links its terminal as a COM port. The
# trend's test needs registers that move (the simulator's waves), which the
# line host does not carry: it is built for Linux only.
set(sim_windows MonitorWindow RequestFlowWindow)
if(NOT WIN32)
  list(APPEND sim_windows TrendWindow)
endif()
foreach(name ${sim_windows})
  if(WIN32)
    add_unit_test(ui_${name}
      SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp ${PROJECT_SOURCE_DIR}/tests/sim/RunningSimWine.cpp
      LIBS ui_test_support simdevice)
  else()
    add_unit_test(ui_${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp LIBS ui_test_support sim_test_support)
  endif()
  target_include_directories(ui_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
endforeach()
