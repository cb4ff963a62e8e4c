# The tests run the built modbus-cli against devices on pseudo-terminals.
find_package(nlohmann_json REQUIRED)
foreach(test cli_ModbusCliTest cli_EntryModeTest cli_ScanTest cli_MonitorCliTest cli_StopSignalTest cli_PollLogCliTest cli_ListenCliTest)
  target_sources(${test} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RunProgram.cpp)
  target_compile_definitions(${test} PRIVATE MODBUS_CLI_PATH="$<TARGET_FILE:modbus-cli>")
  target_link_libraries(${test} PRIVATE nlohmann_json::nlohmann_json project_version)
  add_dependencies(${test} modbus-cli)
endforeach()
target_link_libraries(cli_ModbusCliTest PRIVATE libmodbus_peer)
# Entry mode against the simulator, beside the window's own flow in-process.
target_link_libraries(cli_EntryModeTest PRIVATE cli_core requests sim_test_support)
target_include_directories(cli_EntryModeTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
target_link_libraries(cli_CliPartsTest PRIVATE cli_core)
# --monitor against the modbus-sim program, checked against its log.
target_link_libraries(cli_MonitorCliTest PRIVATE sim_test_support)
target_include_directories(cli_MonitorCliTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
target_link_libraries(cli_ScanTest PRIVATE sim_test_support)
target_include_directories(cli_ScanTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
target_link_libraries(cli_StopSignalTest PRIVATE sim_test_support)
target_include_directories(cli_StopSignalTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
# --log and --value against the simulator served in-process, read back with the trend's log reader.
target_link_libraries(cli_PollLogCliTest PRIVATE trend sim_test_support)
target_include_directories(cli_PollLogCliTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
# --listen on the simulator's tap, checked against its log and by tshark.
target_link_libraries(cli_ListenCliTest PRIVATE sim_test_support)
target_include_directories(cli_ListenCliTest PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
