// A serial device without an operating system behind it, for the fuzz build:
// opening always succeeds, line settings and time-outs are only taken note
// of, and data goes to and comes from the FakeSerialLine a harness installed.
// The event wait ends at once, so an event thread ends as soon as it starts.
#include <string>

#include "EComPort.h"
#include "FakeSerialLine.h"
#include "SerialDevice.h"

namespace {
FakeSerialLine* g_line = nullptr;
}

void SetFakeSerialLine(FakeSerialLine* line) { g_line = line; }

struct SerialDevice::Impl {
  bool open = false;
  bool readsCancelled = false;  // CancelReads: reads return at once, empty
  ChunkSink chunkSink;
};

SerialDevice::SerialDevice() : d_(std::make_unique<Impl>()) {}
SerialDevice::~SerialDevice() = default;

void SerialDevice::Open(const std::string&) { d_->open = true; }
bool SerialDevice::IsOpen() const { return d_->open; }
bool SerialDevice::Close() {
  d_->open = false;
  return true;
}

void SerialDevice::SetupQueues(int, int) {}
void SerialDevice::SetLineSettings(const LineSettings&) {}
void SerialDevice::SetTimeouts(const TimeoutValues&) {}

int SerialDevice::Read(void* buffer, int count) {
  if (!d_->open) throw EComPort(CError_ReadFailed, 6);  // as the system's invalid handle
  if (count <= 0 || g_line == nullptr || d_->readsCancelled) return 0;
  const int got = g_line->Read(static_cast<uint8_t*>(buffer), count);
  if (got > 0 && d_->chunkSink)
    d_->chunkSink(static_cast<const uint8_t*>(buffer), got, std::chrono::steady_clock::now(), false);
  return got;
}

void SerialDevice::CancelReads() { d_->readsCancelled = true; }
void SerialDevice::AllowReads() { d_->readsCancelled = false; }

void SerialDevice::SetChunkSink(ChunkSink sink) { d_->chunkSink = std::move(sink); }

int SerialDevice::Write(const void* buffer, int count) {
  if (!d_->open) throw EComPort(CError_WriteFailed, 6);
  if (count <= 0 || g_line == nullptr) return 0;
  return g_line->Write(static_cast<const uint8_t*>(buffer), count);
}

void SerialDevice::Purge(uint32_t flags) {
  if (g_line != nullptr) g_line->Purge(flags);
}
int SerialDevice::InputCount() { return g_line != nullptr ? g_line->InputCount() : 0; }
uint32_t SerialDevice::ClearErrors() { return 0; }
ModemStatus SerialDevice::GetModemStatus() { return {}; }

void SerialDevice::SetEventMask(uint32_t) {}
uint32_t SerialDevice::WaitEvent() { return 0; }
void SerialDevice::CancelWait() {}
