# The windows against the simulated device (the monitor, the request flow, the
# trend): served in-process on a thread,
# or under Wine by the line host, which links its terminal as a COM port.
foreach(name MonitorWindow RequestFlowWindow TrendWindow)
  if(WIN32)
    add_unit_test(ui_${name}
      SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp ${PROJECT_SOURCE_DIR}/tests/sim/RunningSimWine.cpp
      LIBS ui_test_support simdevice)
  else()
    add_unit_test(ui_${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp LIBS ui_test_support sim_test_support)
  endif()
  target_include_directories(ui_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
endforeach()
