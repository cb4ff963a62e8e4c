// Installs a hand-over wake-up hook for one test and removes it however the
// test ends: a failed assertion must not leave a hook that points at the
// test's dead stack objects for the next test to call.
#pragma once

#include <functional>
#include <utility>

#include "ThreadSync.h"

class SynchronizeWakeupGuard {
public:
  explicit SynchronizeWakeupGuard(std::function<void()> wakeup) {
    ThreadSync::SetSynchronizeWakeup(std::move(wakeup));
  }
  ~SynchronizeWakeupGuard() { ThreadSync::SetSynchronizeWakeup({}); }
  SynchronizeWakeupGuard(const SynchronizeWakeupGuard&) = delete;
  SynchronizeWakeupGuard& operator=(const SynchronizeWakeupGuard&) = delete;
};
