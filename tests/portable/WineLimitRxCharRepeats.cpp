// EV_RXCHAR reports an arrival of bytes once: a new WaitCommEvent waits for
// the next arrival, however many bytes stay unread in the queue.
#include "PtyPair.h"
#include "WineLimit.h"

int main() {
  PtyPair line;
  const HANDLE port = OpenComPort(line.SlavePath());
  SetCommMask(port, EV_RXCHAR);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD mask = 0;
  const auto wait = [&](DWORD ms) {
    ResetEvent(ov.hEvent);
    if (WaitCommEvent(port, &mask, &ov)) return true;
    return GetLastError() == ERROR_IO_PENDING && WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0;
  };
  line.Send(Bytes({1, 2, 3}));
  const bool first = wait(1000);
  const bool again = wait(300);  // nothing new arrives
  SetCommMask(port, 0);          // ends a wait still pending
  WaitForSingleObject(ov.hEvent, 1000);
  CloseHandle(ov.hEvent);
  CloseHandle(port);
  const std::string seen = std::string("the arrival is ") + (first ? "reported" : "not reported") +
                           "; the next wait " + (again ? "fires at once" : "waits");
  return Verdict(first && !again, "the arrival is reported; the next wait waits", seen.c_str());
}
