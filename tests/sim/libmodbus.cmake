# A standard Modbus master from outside the project reads and writes the simulator.
find_package(PkgConfig REQUIRED)
pkg_check_modules(libmodbus REQUIRED IMPORTED_TARGET libmodbus)
add_unit_test(sim_LibmodbusMaster SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibmodbusMaster.cpp
              LIBS sim_test_support PkgConfig::libmodbus)
