// SetCommState takes the line settings a field bus may use, in any order:
// here those the serial component's settings test applies one after the
// other (even parity and two stop bits, then odd parity, one stop bit, 7
// data bits, 115200 baud). A pseudo-terminal keeps neither parity nor 7 data
// bits, and Wine then refuses some of these calls (error 87).
#include <vector>

#include "PtyPair.h"
#include "WineLimit.h"

int main() {
  PtyPair line;
  const HANDLE port = OpenComPort(line.SlavePath());
  struct Step {
    DWORD baud;
    BYTE parity, stopBits, byteSize;
  };
  const std::vector<Step> steps = {{19200, EVENPARITY, TWOSTOPBITS, 8},
                                   {19200, ODDPARITY, TWOSTOPBITS, 8},
                                   {19200, ODDPARITY, ONESTOPBIT, 8},
                                   {19200, ODDPARITY, ONESTOPBIT, 7},
                                   {115200, ODDPARITY, ONESTOPBIT, 7}};
  std::string seen;
  int refused = 0;
  for (const Step& step : steps) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    dcb.BaudRate = step.baud;
    dcb.Parity = step.parity;
    dcb.StopBits = step.stopBits;
    dcb.ByteSize = step.byteSize;
    const bool accepted = SetCommState(port, &dcb);
    seen += accepted ? "accepted " : "refused (" + std::to_string(GetLastError()) + ") ";
    refused += accepted ? 0 : 1;
  }
  CloseHandle(port);
  return Verdict(refused == 0, "accepted accepted accepted accepted accepted", seen.c_str());
}
