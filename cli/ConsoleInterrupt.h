// Ctrl+C at the console while a long run goes on, and whether standard error
// is a terminal (for progress lines): one implementation per system.
#pragma once

// While it lives, Ctrl+C calls `onInterrupt` (from a signal handler or the
// console's own thread: it must only set an atomic flag or the like) instead
// of ending the program. One at a time.
class ConsoleInterrupt {
public:
  explicit ConsoleInterrupt(void (*onInterrupt)());
  ~ConsoleInterrupt();
  ConsoleInterrupt(const ConsoleInterrupt&) = delete;
  ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;
};

bool StandardErrorIsTerminal();
