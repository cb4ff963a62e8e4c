#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "StopSignals.h"

namespace {
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<bool> requested{false};
std::atomic<void (*)()> callback{nullptr};
struct sigaction saved[3];

extern "C" void OnStopSignal(int signal) {
  if (requested.exchange(true)) {
    // The second one: as if we had not taken it.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
    return;
  }
  if (auto call = callback.load()) call();
}
}  // namespace

StopSignals::StopSignals() {
  requested = false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved[i]);
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &saved[i], nullptr);
  callback = nullptr;
  requested = false;
}

bool StopSignals::Requested() { return requested.load(); }

void StopSignals::OnRequest(void (*call)()) { callback = call; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
