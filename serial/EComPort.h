// The failure raised by the serial port component.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Failure codes, the rows of the component's message table.
enum ComFailure : int {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_InvalidAsync = 4,
  CError_PurgeFailed = 5,
  CError_AsyncCheck = 6,
  CError_SetStateFailed = 7,
  CError_TimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_EscapeComFailed = 12,
  CError_TransmitFailed = 13,
  CError_ConnChangeProp = 14,
  CError_EnumPortsFailed = 15,
  CError_StoreFailed = 16,
  CError_LoadFailed = 17,
  CError_RegFailed = 18,
  CError_LedStateFailed = 19,
  CError_ThreadCreated = 20,
  CError_WaitFailed = 21,
  CError_HasLink = 22,
  CError_RegError = 23,
  CError_PortNotOpen = 24,
};

class EComPort : public std::runtime_error {
public:
  // systemError > 0 is appended as " (Error: %d)"; otherwise SystemErrorCode is -1.
  EComPort(int failureCode, long systemError);
  // The same text followed by ": " and what the port adds to it (a network
  // endpoint names itself and what went wrong).
  EComPort(int failureCode, long systemError, const std::string& detail);

  int FailureCode;
  int32_t SystemErrorCode;

  // The fixed English text of a failure code ("" outside 1..24).
  static const char* Text(int failureCode);
  static std::string Message(int failureCode, long systemError);
};
