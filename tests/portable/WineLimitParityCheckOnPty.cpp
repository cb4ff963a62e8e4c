// SetCommState takes, one after the other on one open port, the settings
// the device finder's sweep makes: N2, N1, then even parity with one stop
// bit, and then the same with parity checking on (fParity), as the serial
// component applies the parity and its check one property at a time. On a
// pseudo-terminal Wine refuses the last (error 87), which ends the sweep.
#include <vector>

#include "WineLimit.h"

int main(int argc, char** argv) {
  const DemonstrationPort line(argc, argv);
  const HANDLE port = OpenComPort(line.name);
  struct Frame {
    BYTE parity, stopBits;
    DWORD check;
  };
  const std::vector<Frame> frames = {{NOPARITY, TWOSTOPBITS, 0}, {NOPARITY, ONESTOPBIT, 0},
                                     {EVENPARITY, ONESTOPBIT, 0}, {EVENPARITY, ONESTOPBIT, 1}};
  std::string seen;
  int refused = 0;
  for (const Frame& frame : frames) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    dcb.fParity = frame.check;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = dcb.XoffLim = 1024;  // the component's: a quarter of its 4096-byte input queue
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = frame.parity;
    dcb.StopBits = frame.stopBits;
    const bool accepted = SetCommState(port, &dcb);
    seen += accepted ? "accepted " : "refused (" + std::to_string(GetLastError()) + ") ";
    refused += accepted ? 0 : 1;
  }
  CloseHandle(port);
  return Verdict(refused == 0, "accepted accepted accepted accepted", seen.c_str());
}
