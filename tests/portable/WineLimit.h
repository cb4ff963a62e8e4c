// Shared by the plain Win32 programs that show where Wine's serial ports
// differ from Windows (wine-known-limits.md). Each opens a COM port that the
// line host backs with a pseudo-terminal, calls the Win32 API directly and
// exits 0 when it sees what Windows does, 1 when it sees Wine's behaviour.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "PtyPair.h"

// The port a program shows Wine's behaviour on: the one named by its first
// argument (a COM port registered in the prefix, as the zip's click-through
// has), or else a pseudo-terminal that the line host backs.
struct DemonstrationPort {
  DemonstrationPort(int argc, char** argv) {
    if (argc > 1) {
      name = argv[1];
    } else {
      line = std::make_unique<PtyPair>();
      name = line->SlavePath();
    }
  }
  std::unique_ptr<PtyPair> line;
  std::string name;
};

// An overlapped handle on "\\.\<name>", as the serial component opens it.
inline HANDLE OpenComPort(const std::string& name, DWORD access = GENERIC_READ | GENERIC_WRITE,
                          DWORD flags = FILE_FLAG_OVERLAPPED) {
  const std::string path = "\\\\.\\" + name;
  return CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

// Read time-outs that make a read wait up to `totalMs` for its bytes.
inline void WaitingReads(HANDLE port, DWORD totalMs) {
  COMMTIMEOUTS t{};
  t.ReadTotalTimeoutConstant = totalMs;
  SetCommTimeouts(port, &t);
}

inline int Verdict(bool windowsBehaviour, const char* windows, const char* seen) {
  std::printf("   Windows: %s\n   here:    %s\n", windows, seen);
  return windowsBehaviour ? 0 : 1;
}
