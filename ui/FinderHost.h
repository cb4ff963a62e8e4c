// What the device finder's window asks of the main window, and no more: the
// port it works on, let go of for a sweep and taken back afterwards, a
// device found put to use, and the probes shown in the traffic monitor. The
// main window implements it; the finder window's tests put a fake in its place.
#pragma once

#include <string>

#include "DeviceFinder.h"

class FinderHost {
public:
  // What letting go of the port did, for taking it back.
  struct Release {
    bool WasOpen = false;
    bool PollingStopped = false;  // "Цикл" was running and was stopped
  };
  // What taking it back did.
  struct Restore {
    bool Reopened = false;
    bool PollingResumed = false;
    std::string Error;  // why the port did not open again (empty when it did, or was closed)
  };

  virtual ~FinderHost() = default;

  // The port the main window works on ("COM3").
  virtual std::string PortName() const = 0;
  // The device numbers the main window can address: 1 to this.
  virtual int LastAddress() const = 0;
  // Stops polling and closes the port, so that a sweep can open it.
  virtual Release ReleasePort() = 0;
  // Opens the port again if it was open, and resumes polling if it was stopped.
  virtual Restore RestorePort(const Release& released) = 0;
  // The port, line setting and device number, as "Настройка порта" and
  // "Устр. №" set them (the address is one it can address); whether the port opened.
  virtual bool Apply(const std::string& port, const LineSetting& setting, int address) = 0;
  // A probe the sweep sent, with what came back.
  virtual void ShowProbe(const ProbeResult& probe) = 0;
};
