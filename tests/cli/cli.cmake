# The tests run the built modbus-cli against devices on pseudo-terminals.
find_package(nlohmann_json REQUIRED)
target_sources(cli_ModbusCliTest PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RunProgram.cpp)
target_link_libraries(cli_ModbusCliTest PRIVATE libmodbus_peer nlohmann_json::nlohmann_json)
target_compile_definitions(cli_ModbusCliTest PRIVATE MODBUS_CLI_PATH="$<TARGET_FILE:modbus-cli>")
add_dependencies(cli_ModbusCliTest modbus-cli)
