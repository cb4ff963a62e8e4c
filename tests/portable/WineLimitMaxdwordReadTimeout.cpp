// Read time-outs MAXDWORD, 0, 0 make a read return at once with whatever is
// queued, even nothing (the serial component's constructor defaults).
#include "PtyPair.h"
#include "WineLimit.h"

int main() {
  PtyPair line;
  const HANDLE port = OpenComPort(line.SlavePath());
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  SetCommTimeouts(port, &t);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char buffer[4];
  DWORD count = 0;
  const bool done = ReadFile(port, buffer, sizeof buffer, &count, &ov) ||
                    (GetLastError() == ERROR_IO_PENDING &&
                     WaitForSingleObject(ov.hEvent, 500) == WAIT_OBJECT_0);
  if (!done) CancelIo(port);
  CloseHandle(ov.hEvent);
  CloseHandle(port);
  return Verdict(done, "the read on an empty queue completes at once with 0 bytes",
                 done ? "the read completed" : "the read is still pending after 500 ms");
}
