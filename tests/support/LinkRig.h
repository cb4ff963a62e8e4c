// The link on the main window's port, opened directly on the slave side of a
// pseudo-terminal, with a recording operator interface. The device side is
// `pty`.
#pragma once

#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "PtyPair.h"
#include "RecordingOperator.h"

// Opens `port` on `name` with the main window's properties and short read
// time-outs, which keep failing attempts cheap: 30 ms between bytes, 150 ms +
// 10 ms per byte in all (a silent head read ends after 180 ms).
inline void OpenWithShortTimeouts(TCustomComPort& port, const std::string& name) {
  LoadMainPortProperties(port);
  port.Timeouts().SetReadInterval(30);
  port.Timeouts().SetReadTotalMultiplier(10);
  port.Timeouts().SetReadTotalConstant(150);
  port.SetPort(name);
  port.Open();
}

struct LinkRig {
  enum class Timeouts { Short, MainWindow };

  PtyPair pty;
  TComPort port;
  RecordingOperator form;
  TComPortClass link{port, form};

  explicit LinkRig(Timeouts timeouts = Timeouts::Short) {
    pty.ReleaseSlave();
    if (timeouts == Timeouts::Short) {
      OpenWithShortTimeouts(port, pty.SlavePath());
      return;
    }
    LoadMainPortProperties(port);
    port.SetPort(pty.SlavePath());
    port.Open();
  }
};
