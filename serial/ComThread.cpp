#include "ComThread.h"

#include "ComPort.h"

// The line-event wait is not running yet: no handler or linked component of
// this program needs it, and received data stays queued for Read either way.
TComThread::TComThread(TCustomComPort& port) : port_(port) {}
TComThread::~TComThread() = default;
