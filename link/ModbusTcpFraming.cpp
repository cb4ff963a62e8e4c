#include "ModbusTcpFraming.h"

#include <algorithm>
#include <cstring>

#include "ComPort.h"
#include "MbapFrame.h"

int32_t ModbusTcpFraming::Send(TCustomComPort& port, const uint8_t* rtuFrame, int32_t frameLen) {
  ++transaction_;  // every request on the connection has its own: a late answer is not ours
  unit_ = rtuFrame[0];
  received_ = false;
  mismatched_ = false;
  answer_.clear();
  served_ = 0;
  const std::vector<uint8_t> request = WrapRtuFrame(transaction_, rtuFrame, frameLen);
  return port.Write(request.data(), static_cast<int>(request.size()));
}

void ModbusTcpFraming::Receive(TCustomComPort& port) {
  received_ = true;
  uint8_t header[kMbapHeaderLen];
  const int got = port.Read(header, kMbapHeaderLen);
  if (got < kMbapHeaderLen) {
    // Nothing, or a header in part: at most two bytes, so that the engine's
    // head read sees no answer or an incomplete one, never a head.
    answer_.assign(header, header + std::min(got, 2));
    return;
  }
  const MbapVerdict verdict = CheckAnswerHeader(header, transaction_, unit_);
  mismatched_ = verdict != MbapVerdict::Match;
  if (verdict == MbapVerdict::BadLength) {
    answer_.assign(1, header[6]);
    return;
  }
  std::vector<uint8_t> pdu(static_cast<size_t>(AnnouncedPduLength(header)));
  const int pduGot = port.Read(pdu.data(), static_cast<int>(pdu.size()));
  answer_ = RtuFormOf(header[6], pdu.data(), pduGot, pduGot == static_cast<int>(pdu.size()));
}

int32_t ModbusTcpFraming::Read(TCustomComPort& port, uint8_t* place, int32_t count) {
  if (!received_) Receive(port);
  const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), answer_.size() - served_);
  if (n > 0) std::memcpy(place, answer_.data() + served_, n);
  served_ += n;
  return static_cast<int32_t>(n);
}
