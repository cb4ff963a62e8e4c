// PurgeComm with PURGE_RXABORT ends a pending read and leaves the receive
// queue alone; only PURGE_RXCLEAR discards received bytes.
#include "PtyPair.h"
#include "WineLimit.h"

namespace {
DWORD Queued(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(port, &errors, &status);
  return status.cbInQue;
}
}  // namespace

int main() {
  PtyPair line;
  const HANDLE port = OpenComPort(line.SlavePath());
  WaitingReads(port, 5000);

  line.Send(Bytes({1, 2, 3}));
  Sleep(200);
  PurgeComm(port, PURGE_RXABORT);
  const DWORD kept = Queued(port);
  PurgeComm(port, PURGE_RXCLEAR);

  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char buffer[4];
  DWORD count = 0;
  ReadFile(port, buffer, sizeof buffer, &count, &ov);  // pending: nothing comes
  Sleep(100);
  PurgeComm(port, PURGE_RXABORT);
  const bool ended = WaitForSingleObject(ov.hEvent, 1000) == WAIT_OBJECT_0;
  if (!ended) CancelIo(port);
  CloseHandle(ov.hEvent);
  CloseHandle(port);
  const std::string seen = std::to_string(kept) + " of 3 queued bytes kept; the pending read " +
                           (ended ? "ended" : "still waits 1 s later");
  return Verdict(kept == 3 && ended, "3 of 3 queued bytes kept; the pending read ends",
                 seen.c_str());
}
