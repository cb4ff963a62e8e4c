#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "ConsoleInterrupt.h"

namespace {
std::atomic<void (*)()> handler{nullptr};
struct sigaction saved {};

extern "C" void OnSigint(int) {
  if (auto call = handler.load()) call();
}
}  // namespace

ConsoleInterrupt::ConsoleInterrupt(void (*onInterrupt)()) {
  handler = onInterrupt;
  struct sigaction action {};
  action.sa_handler = OnSigint;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &saved);
}

ConsoleInterrupt::~ConsoleInterrupt() {
  sigaction(SIGINT, &saved, nullptr);
  handler = nullptr;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
