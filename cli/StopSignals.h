// Ending a run from outside: Ctrl+C, SIGTERM and SIGHUP on POSIX, the
// console's Ctrl+C, Ctrl+Break and close on Windows. The first one asks the
// run to stop: it ends after the transaction under way, closes the port and
// prints what it did. A second one ends the program at once (the port is
// still usable afterwards: the system drops our locks with the process).
// One implementation per system.
#pragma once

class StopSignals {
public:
  // Takes the signals for the life of the object; one at a time.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Whether a stop was asked for (false without a live StopSignals).
  static bool Requested();
  // Also called at the first stop request, from a signal handler or the
  // console's own thread: it may only set an atomic flag or the like.
  static void OnRequest(void (*callback)());
};

bool StandardErrorIsTerminal();
