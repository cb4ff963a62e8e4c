// The main window as the device finder's host: its port lent to a sweep and
// taken back, a device found put to use, the probes shown in the monitor.
#include <QComboBox>

#include "EComPort.h"
#include "MonitorWindow.h"
#include "Ob_TModBCl.h"
#include "obrport.h"

std::string TForm1::PortName() const { return ComPort1.Port(); }

int TForm1::LastAddress() const { return CBoxUstr->count(); }

FinderHost::Release TForm1::ReleasePort() {
  Release released;
  released.PollingStopped = PollTimerEnabled();
  Dispatcher.StopPolling();
  released.WasOpen = ComPort1.Connected();
  Link.ClosePort();
  return released;
}

FinderHost::Restore TForm1::RestorePort(const Release& released) {
  Restore restored;
  if (released.WasOpen) {
    try {
      ComPort1.Open();  // the same port object: its name and line settings are as they were
      restored.Reopened = true;
    } catch (const EComPort& e) {
      restored.Error = e.what();
    }
  }
  // Polling goes on only on an open port; started meanwhile, it is left as it is.
  if (released.PollingStopped && !closing_ && ComPort1.Connected() && !PollTimerEnabled()) {
    Dispatcher.Button3Click();  // as "Цикл" starts it
    restored.PollingResumed = true;
  }
  return restored;
}

bool TForm1::Apply(const std::string& port, const LineSetting& setting, int address) {
  CBoxUstr->setCurrentIndex(CBoxUstr->findText(QString::number(address)));
  CBoxUstrClick();
  const std::string baud = std::to_string(setting.Baud);
  SetPortAndOpen(port, baud, std::string(1, setting.Frame.Parity), std::to_string(setting.Frame.StopBits));
  // "Настройка порта" shows what is in force, and OK there keeps it.
  if (FormPort) FormPort->Preselect(port, setting.Baud, setting.Frame.Parity, setting.Frame.StopBits);
  return ComPort1.Connected();
}

void TForm1::ShowProbe(const ProbeResult& probe) {
  if (monitor_ && monitor_->isVisible()) monitor_->ShowProbe(probe);
}
