#include "EComPort.h"

#include <array>

namespace {
constexpr std::array<const char*, 24> kTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};
}  // namespace

const char* EComPort::Text(int failureCode) {
  if (failureCode < 1 || failureCode > static_cast<int>(kTexts.size())) return "";
  return kTexts[failureCode - 1];
}

std::string EComPort::Message(int failureCode, long systemError) {
  std::string text = Text(failureCode);
  if (systemError > 0) text += " (Error: " + std::to_string(systemError) + ")";
  return text;
}

EComPort::EComPort(int failureCode, long systemError)
    : std::runtime_error(Message(failureCode, systemError)),
      FailureCode(failureCode),
      SystemErrorCode(systemError > 0 ? static_cast<int32_t>(systemError) : -1) {}

EComPort::EComPort(int failureCode, long systemError, const std::string& detail)
    : std::runtime_error(Message(failureCode, systemError) + ": " + detail),
      FailureCode(failureCode),
      SystemErrorCode(systemError > 0 ? static_cast<int32_t>(systemError) : -1) {}
