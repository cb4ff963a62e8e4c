// Windows serial device: the communications API on a handle opened for
// overlapped I/O. Every read and write is one overlapped operation that the
// calling thread waits out, so the driver's time-outs decide when it ends.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "EComPort.h"
#include "SerialDevice.h"

static_assert(sizeof(DCB) == 28, "the line-settings record has the platform's layout");

namespace {
constexpr const char* kDevicePrefix = "\\\\.\\";
// How long WaitEvent rests after a failed event wait before it lets the
// caller try again, so a broken device cannot make the event thread spin.
constexpr DWORD kRetryPauseMs = 100;

[[noreturn]] void Fail(int code, DWORD error) { throw EComPort(code, static_cast<long>(error)); }

DWORD Bit(uint32_t flags, uint32_t mask) { return (flags & mask) != 0 ? 1 : 0; }

// The events that watch the modem lines.
constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// A port without modem lines (a virtual port of some USB and Bluetooth
// drivers, a null-modem emulator, Wine's ports on a pseudo-terminal) refuses
// the modem-status request. Drivers answer ERROR_NOT_SUPPORTED, or
// ERROR_INVALID_FUNCTION, which is how Windows reports the
// STATUS_INVALID_DEVICE_REQUEST that a driver returns for a control code it
// does not handle. Neither means the port is broken: all signals are off, as
// on a POSIX pseudo-terminal. A removed or failing device gives other errors.
bool NoModemLines(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

// The driver's transmit queue is known to be empty. Unknown (the query
// failed) counts as not empty: the purge then reports the failure.
bool NothingToSend(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(port, &errors, &status) && status.cbOutQue == 0;
}

// A manual-reset event for one overlapped operation, closed with its owner.
class EventHandle {
public:
  explicit EventHandle(bool signalled) : h_(CreateEventA(nullptr, TRUE, signalled, nullptr)) {}
  ~EventHandle() {
    if (h_) CloseHandle(h_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE Get() const { return h_; }

private:
  HANDLE h_;
};

// One overlapped operation on the port. Whatever path leaves the scope, the
// operation is finished first: the kernel must not write into the OVERLAPPED
// block or the caller's buffer after they are gone.
class OverlappedOp {
public:
  explicit OverlappedOp(HANDLE port, bool signalled) : port_(port), event_(signalled) {
    ov_.hEvent = event_.Get();
  }
  ~OverlappedOp() {
    if (!inFlight_) return;
    CancelIoEx(port_, &ov_);
    DWORD ignored = 0;
    GetOverlappedResult(port_, &ov_, &ignored, TRUE);
  }
  OverlappedOp(const OverlappedOp&) = delete;
  OverlappedOp& operator=(const OverlappedOp&) = delete;

  bool Valid() const { return event_.Get() != nullptr; }
  OVERLAPPED* Get() { return &ov_; }
  HANDLE Event() const { return event_.Get(); }
  // The call that started the operation returned TRUE or ERROR_IO_PENDING.
  void Started() { inFlight_ = true; }
  // Cancels the operation and waits until the driver has let go of it; what
  // it moved before that.
  DWORD CancelAndWait() {
    CancelIoEx(port_, &ov_);
    DWORD transferred = 0;
    if (!GetOverlappedResult(port_, &ov_, &transferred, TRUE)) transferred = static_cast<DWORD>(ov_.InternalHigh);
    inFlight_ = false;
    return transferred;
  }
  // Non-waiting completion query. On failure the error is left for GetLastError.
  bool Result(DWORD& transferred) {
    if (GetOverlappedResult(port_, &ov_, &transferred, FALSE)) {
      inFlight_ = false;
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_INCOMPLETE) inFlight_ = false;
    SetLastError(error);
    return false;
  }

private:
  HANDLE port_;
  EventHandle event_;
  OVERLAPPED ov_{};
  bool inFlight_ = false;
};

// ReadFile/WriteFile waited out: start, wait without limit (or until `cancel`
// is set: then what moved so far), ask for the count.
template <typename StartIo>
int Transfer(HANDLE port, int failureCode, StartIo start, HANDLE cancel = nullptr) {
  OverlappedOp op(port, true);
  if (!op.Valid()) Fail(failureCode, GetLastError());
  if (!start(op.Get())) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) Fail(failureCode, error);
  }
  op.Started();
  const HANDLE handles[2] = {op.Event(), cancel};
  const DWORD woke = WaitForMultipleObjects(cancel ? 2 : 1, handles, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0 + 1) return static_cast<int>(op.CancelAndWait());
  if (woke != WAIT_OBJECT_0) Fail(failureCode, GetLastError());
  DWORD transferred = 0;
  if (!op.Result(transferred)) {
    // The driver ends a timed-out transfer with a time-out status that Windows
    // counts as success; Wine reports it as ERROR_TIMEOUT. Either way it is a
    // short count, not a failure.
    const DWORD error = GetLastError();
    if (error != ERROR_TIMEOUT) Fail(failureCode, error);
    transferred = static_cast<DWORD>(op.Get()->InternalHigh);
  }
  return static_cast<int>(transferred);
}
}  // namespace

struct SerialDevice::Impl {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE stop = nullptr;  // set by CancelWait, reset when a new mask re-arms the wait
  // Set by CancelReads, reset by AllowReads; made with the device, so that
  // another thread can set it whether the port is open or not.
  HANDLE readStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD eventMask = 0;    // as last set; the modem events go once the port refuses them
  ChunkSink chunkSink;

  void CloseStop() {
    if (stop) CloseHandle(stop);
    stop = nullptr;
  }
  ~Impl() {
    CloseStop();
    if (readStop) CloseHandle(readStop);
  }

  // After a failed event wait: rest a moment unless cancelled meanwhile.
  uint32_t PauseUnlessStopped() const {
    return WaitForSingleObject(stop, kRetryPauseMs) == WAIT_OBJECT_0 ? 0 : NoEventBatch;
  }
};

SerialDevice::SerialDevice() : d_(std::make_unique<Impl>()) {}
SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::IsOpen() const { return d_->port != INVALID_HANDLE_VALUE; }

void SerialDevice::Open(const std::string& portName) {
  if (IsOpen()) return;
  // A device path (\\.\COM12) is opened as typed; a bare name goes through the device namespace.
  const std::string path = portName.rfind(kDevicePrefix, 0) == 0 ? portName : kDevicePrefix + portName;
  const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) Fail(CError_OpenFailed, GetLastError());
  const HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!stop) {
    const DWORD error = GetLastError();
    CloseHandle(port);
    Fail(CError_OpenFailed, error);
  }
  d_->port = port;
  d_->stop = stop;
}

bool SerialDevice::Close() {
  if (!IsOpen()) return true;
  // A handle whose close failed is of no further use: forget it either way,
  // so that the next Open makes a new one (for the new port name too).
  const bool closed = CloseHandle(d_->port);
  d_->port = INVALID_HANDLE_VALUE;
  d_->CloseStop();
  return closed;
}

void SerialDevice::SetupQueues(int inputSize, int outputSize) {
  // A negative size would reach the driver as a request for gigabytes.
  if (inputSize < 0 || outputSize < 0) Fail(CError_SetupComFailed, ERROR_INVALID_PARAMETER);
  if (!SetupComm(d_->port, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)))
    Fail(CError_SetupComFailed, GetLastError());
}

void SerialDevice::SetLineSettings(const LineSettings& s) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = s.BaudRate;
  const uint32_t f = s.Flags;
  dcb.fBinary = Bit(f, DcbBinary);
  dcb.fParity = Bit(f, DcbParity);
  dcb.fOutxCtsFlow = Bit(f, DcbOutxCtsFlow);
  dcb.fOutxDsrFlow = Bit(f, DcbOutxDsrFlow);
  dcb.fDtrControl = (f & DcbDtrControlMask) >> 4;
  dcb.fDsrSensitivity = Bit(f, DcbDsrSensitivity);
  dcb.fTXContinueOnXoff = Bit(f, DcbTxContinueOnXoff);
  dcb.fOutX = Bit(f, DcbOutX);
  dcb.fInX = Bit(f, DcbInX);
  dcb.fErrorChar = Bit(f, DcbErrorChar);
  dcb.fNull = Bit(f, DcbNull);
  dcb.fRtsControl = (f & DcbRtsControlMask) >> 12;
  dcb.fAbortOnError = Bit(f, DcbAbortOnError);
  dcb.XonLim = s.XonLim;
  dcb.XoffLim = s.XoffLim;
  dcb.ByteSize = s.ByteSize;
  dcb.Parity = s.Parity;
  dcb.StopBits = s.StopBits;
  dcb.XonChar = s.XonChar;
  dcb.XoffChar = s.XoffChar;
  dcb.ErrorChar = s.ErrorChar;
  dcb.EofChar = s.EofChar;
  dcb.EvtChar = s.EvtChar;
  if (!SetCommState(d_->port, &dcb)) Fail(CError_SetStateFailed, GetLastError());
}

void SerialDevice::SetTimeouts(const TimeoutValues& t) {
  COMMTIMEOUTS ct{};
  ct.ReadIntervalTimeout = t.ReadInterval;
  ct.ReadTotalTimeoutMultiplier = t.ReadTotalMultiplier;
  ct.ReadTotalTimeoutConstant = t.ReadTotalConstant;
  ct.WriteTotalTimeoutMultiplier = t.WriteTotalMultiplier;
  ct.WriteTotalTimeoutConstant = t.WriteTotalConstant;
  if (!SetCommTimeouts(d_->port, &ct)) Fail(CError_TimeoutsFailed, GetLastError());
}

int SerialDevice::Read(void* buffer, int count) {
  // A negative count would become a huge DWORD and overrun the caller's buffer.
  if (count <= 0) return 0;
  const HANDLE port = d_->port;
  // For the sink: bytes queued as the read began came earlier than the read's
  // completion, which stamps the chunk; the POSIX backend marks them so too.
  // Asked only with a sink, as the port asks the queue before a linked write.
  DWORD errors = 0;
  COMSTAT status{};
  const bool queuedBefore = d_->chunkSink && ClearCommError(port, &errors, &status) && status.cbInQue > 0;
  const int got = Transfer(port, CError_ReadFailed, [&](OVERLAPPED* ov) {
    DWORD ignored = 0;  // the count comes from GetOverlappedResult
    return ReadFile(port, buffer, static_cast<DWORD>(count), &ignored, ov);
  }, d_->readStop);
  // The driver hands the bytes over at completion, as one chunk.
  if (got > 0 && d_->chunkSink)
    d_->chunkSink(static_cast<const uint8_t*>(buffer), got, std::chrono::steady_clock::now(), queuedBefore);
  return got;
}

void SerialDevice::SetChunkSink(ChunkSink sink) { d_->chunkSink = std::move(sink); }

void SerialDevice::CancelReads() {
  if (d_->readStop) SetEvent(d_->readStop);
}

void SerialDevice::AllowReads() {
  if (d_->readStop) ResetEvent(d_->readStop);
}

int SerialDevice::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  const HANDLE port = d_->port;
  return Transfer(port, CError_WriteFailed, [&](OVERLAPPED* ov) {
    DWORD ignored = 0;
    return WriteFile(port, buffer, static_cast<DWORD>(count), &ignored, ov);
  });
}

void SerialDevice::Purge(uint32_t flags) {
  // The transmit queue holds only what a write has not reported as sent (a
  // stalled line). With nothing queued there is nothing to discard, and a
  // flush could only take back a frame already reported as sent: Wine
  // flushes the terminal's output, and on a pseudo-terminal that drops what
  // the other side has not read yet. So, as on POSIX, no flush then.
  if ((flags & PurgeTxClear) && NothingToSend(d_->port)) {
    flags &= ~PurgeTxClear;
    if (flags == 0) return;
  }
  if (!PurgeComm(d_->port, flags)) Fail(CError_PurgeFailed, GetLastError());
}

int SerialDevice::InputCount() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(d_->port, &errors, &status)) Fail(CError_ClearComFailed, GetLastError());
  return static_cast<int>(status.cbInQue);
}

uint32_t SerialDevice::ClearErrors() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(d_->port, &errors, &status)) Fail(CError_ClearComFailed, GetLastError());
  return errors;
}

ModemStatus SerialDevice::GetModemStatus() {
  DWORD bits = 0;
  if (!GetCommModemStatus(d_->port, &bits)) {
    const DWORD error = GetLastError();
    if (NoModemLines(error)) return {};
    Fail(CError_ModemStatFailed, error);
  }
  return {(bits & MS_CTS_ON) != 0, (bits & MS_DSR_ON) != 0, (bits & MS_RING_ON) != 0,
          (bits & MS_RLSD_ON) != 0};
}

void SerialDevice::SetEventMask(uint32_t mask) {
  if (mask != 0 && d_->stop) ResetEvent(d_->stop);
  d_->eventMask = mask;
  SetCommMask(d_->port, mask);  // a failure leaves the device's own mask in force
}

uint32_t SerialDevice::WaitEvent() {
  Impl& d = *d_;
  if (!IsOpen() || !d.stop) return 0;
  if (WaitForSingleObject(d.stop, 0) == WAIT_OBJECT_0) return 0;

  OverlappedOp op(d.port, false);
  if (!op.Valid()) return d.PauseUnlessStopped();
  DWORD mask = 0;  // written by the driver; the operation ends before this scope does
  if (!WaitCommEvent(d.port, &mask, op.Get())) {
    const DWORD error = GetLastError();
    if (NoModemLines(error) && (d.eventMask & kModemEvents) != 0) {
      // A port without modem lines refuses a wait that includes their events:
      // those events can never come, so wait for the others.
      d.eventMask &= ~kModemEvents;
      SetCommMask(d.port, d.eventMask);
      if (d.eventMask != 0) return NoEventBatch;
      WaitForSingleObject(d.stop, INFINITE);  // nothing left to wait for but the stop
      return 0;
    }
    if (error != ERROR_IO_PENDING) return d.PauseUnlessStopped();
  }
  op.Started();

  const HANDLE handles[2] = {d.stop, op.Event()};
  const DWORD fired = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (fired != WAIT_OBJECT_0 + 1) return 0;  // cancelled, or the wait itself failed
  DWORD ignored = 0;
  if (!op.Result(ignored)) return d.PauseUnlessStopped();
  // A mask change while waiting completes the wait with no event: not a stop.
  return mask != 0 ? mask : NoEventBatch;
}

void SerialDevice::CancelWait() {
  if (d_->stop) SetEvent(d_->stop);
}
