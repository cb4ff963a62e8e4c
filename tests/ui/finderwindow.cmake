# The device finder's window against the modbus-sim program, a POSIX
# program: not built for Windows.
if(WIN32)
  return()
endif()
add_unit_test(ui_FinderWindow
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FinderWindow.cpp
  LIBS ui_test_support sim_test_support)
target_include_directories(ui_FinderWindow PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
