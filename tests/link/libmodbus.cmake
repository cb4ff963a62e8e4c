# The link against libmodbus's RTU server, an independent Modbus peer.
add_unit_test(link_LibmodbusPeer SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibmodbusPeer.cpp
              LIBS link libmodbus_peer)
