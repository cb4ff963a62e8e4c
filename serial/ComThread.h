// The background thread that waits for line events while a port is open.
#pragma once

class TCustomComPort;

class TComThread {
public:
  explicit TComThread(TCustomComPort& port);
  ~TComThread();  // stops the thread and returns once it has ended
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

private:
  TCustomComPort& port_;
};
