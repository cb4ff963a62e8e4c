#include "ListeningPort.h"

#include <chrono>

#include "ComPort.h"

int64_t NowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

ListeningPort::ListeningPort() : port_(std::make_unique<TCustomComPort>()) {}

ListeningPort::~ListeningPort() { Close(); }

LineFormat FormatOf(int32_t baud, const LineFrame& frame) {
  return LineFormat{baud, frame.Parity != 'N', frame.StopBits};
}

void ListeningPort::Open(const std::string& name, int32_t baud, const LineFrame& frame) {
  Close();
  TCustomComPort& port = *port_;
  port.SetPort(name);
  port.SetBaudRate(BaudRateOf(baud));
  port.SetCustomBaudRate(baud);
  port.SetDataBits(dbEight);
  port.Parity().SetBits(frame.Parity == 'O' ? prOdd : frame.Parity == 'E' ? prEven : prNone);
  port.SetStopBits(frame.StopBits == 1 ? sbOneStopBit : sbTwoStopBits);
  port.SetEvents({});  // no event thread: nothing here acts on line events
  // Wait for the first byte up to a limit, then return what is queued.
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(-1);
  port.Timeouts().SetReadTotalConstant(100);
  port.Buffer().SetInputSize(4096);
  port.Open();
  port.ClearBuffer(true, false);
}

void ListeningPort::Close() {
  if (port_->Connected()) port_->Close();
}

bool ListeningPort::IsOpen() const { return port_->Connected(); }

std::vector<uint8_t> ListeningPort::Read(int waitMs, int64_t& takenUs) {
  if (port_->Timeouts().ReadTotalConstant() != waitMs) port_->Timeouts().SetReadTotalConstant(waitMs);
  std::vector<uint8_t> bytes(4096);
  const int got = port_->Read(bytes.data(), static_cast<int>(bytes.size()));
  takenUs = NowUs();
  bytes.resize(static_cast<size_t>(got > 0 ? got : 0));
  return bytes;
}
