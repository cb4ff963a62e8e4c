# The device finder's window and the monitor's listen mode against the
# modbus-sim program, a POSIX program: not built for Windows.
if(WIN32)
  return()
endif()
foreach(name FinderWindow ListenWindow)
  add_unit_test(ui_${name}
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp
    LIBS ui_test_support sim_test_support)
  target_include_directories(ui_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
endforeach()
