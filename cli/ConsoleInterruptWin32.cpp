#include <io.h>
#include <windows.h>

#include <atomic>

#include "ConsoleInterrupt.h"

namespace {
std::atomic<void (*)()> handler{nullptr};

// Called on a thread of its own by the console; TRUE keeps the program alive.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (auto call = handler.load()) call();
  return TRUE;
}
}  // namespace

ConsoleInterrupt::ConsoleInterrupt(void (*onInterrupt)()) {
  handler = onInterrupt;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleInterrupt::~ConsoleInterrupt() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  handler = nullptr;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
