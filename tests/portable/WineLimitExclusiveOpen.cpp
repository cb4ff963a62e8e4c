// A serial port opened without sharing cannot be opened a second time: on
// Windows the second CreateFile fails with ERROR_ACCESS_DENIED.
#include "PtyPair.h"
#include "WineLimit.h"

int main() {
  PtyPair line;
  const HANDLE first = OpenComPort(line.SlavePath());
  const HANDLE second = OpenComPort(line.SlavePath());
  const DWORD error = GetLastError();
  const bool refused = second == INVALID_HANDLE_VALUE;
  const std::string seen = refused ? "refused, error " + std::to_string(error) : "granted";
  if (!refused) CloseHandle(second);
  CloseHandle(first);
  return Verdict(refused && error == ERROR_ACCESS_DENIED,
                 "the second open fails with error 5 (access denied)",
                 ("the second open is " + seen).c_str());
}
