#include "FrameRtuForm.h"

#include "MbapFrame.h"

std::vector<uint8_t> RtuBytesOf(const MonitorFrame& frame) {
  if (frame.Transport != FrameTransport::ModbusTcp) return frame.Bytes;
  if (frame.Bytes.size() <= static_cast<size_t>(kMbapHeaderLen)) return {};
  const int32_t pdu = static_cast<int32_t>(frame.Bytes.size()) - kMbapHeaderLen;
  return RtuFormOf(frame.Bytes[kMbapHeaderLen - 1], frame.Bytes.data() + kMbapHeaderLen, pdu, true);
}
