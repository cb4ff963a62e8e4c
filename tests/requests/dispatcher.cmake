# The request flow against the simulated device on a pseudo-terminal; under
# Wine the line host serves the device.
if(WIN32)
  add_unit_test(requests_DispatcherFlow
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DispatcherFlow.cpp
            ${PROJECT_SOURCE_DIR}/tests/sim/RunningSimWine.cpp
    LIBS requests simdevice)
else()
  add_unit_test(requests_DispatcherFlow
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DispatcherFlow.cpp
    LIBS requests running_sim)
endif()
target_include_directories(requests_DispatcherFlow PRIVATE ${PROJECT_SOURCE_DIR}/tests/sim)
