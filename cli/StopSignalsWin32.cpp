#include <io.h>
#include <windows.h>

#include <atomic>

#include "StopSignals.h"

namespace {
std::atomic<bool> requested{false};
std::atomic<void (*)()> callback{nullptr};

// Called on a thread of its own by the console; TRUE keeps the program alive.
// On closing the console window the program has a few seconds: the run
// stops after its transaction, which is what the first request asks for.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (requested.exchange(true)) return FALSE;  // the second one: the default, which ends us
  if (auto call = callback.load()) call();
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);  // returning would end us before the port is closed
  return TRUE;
}
}  // namespace

StopSignals::StopSignals() {
  requested = false;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopSignals::~StopSignals() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  callback = nullptr;
  requested = false;
}

bool StopSignals::Requested() { return requested.load(); }

void StopSignals::OnRequest(void (*call)()) { callback = call; }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
