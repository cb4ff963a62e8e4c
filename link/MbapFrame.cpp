#include "MbapFrame.h"

#include <cstddef>

#include "Crc16.h"

std::vector<uint8_t> WrapRtuFrame(uint16_t transaction, const uint8_t* rtuFrame, int32_t frameLen) {
  const int32_t pduLen = frameLen - 3;  // less address and CRC
  const int32_t length = pduLen + 1;    // unit and PDU
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(kMbapHeaderLen + pduLen));
  out.push_back(static_cast<uint8_t>(transaction >> 8));
  out.push_back(static_cast<uint8_t>(transaction));
  out.push_back(0);
  out.push_back(0);
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(static_cast<uint8_t>(length));
  out.push_back(rtuFrame[0]);
  out.insert(out.end(), rtuFrame + 1, rtuFrame + 1 + pduLen);
  return out;
}

int32_t AnnouncedPduLength(const uint8_t* header) { return ((header[4] << 8) | header[5]) - 1; }

MbapVerdict CheckAnswerHeader(const uint8_t* header, uint16_t transaction, uint8_t unit) {
  if (((header[0] << 8) | header[1]) != transaction) return MbapVerdict::OtherTransaction;
  if (header[2] != 0 || header[3] != 0) return MbapVerdict::OtherProtocol;
  if (AnnouncedPduLength(header) < 1) return MbapVerdict::BadLength;
  if (header[6] != unit) return MbapVerdict::OtherUnit;
  return MbapVerdict::Match;
}

std::vector<uint8_t> RtuFormOf(uint8_t unit, const uint8_t* pdu, int32_t received, bool whole) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(received) + 3);
  out.push_back(unit);
  out.insert(out.end(), pdu, pdu + received);
  if (whole) {
    const uint16_t crc = Crc16(static_cast<int32_t>(out.size()), out.data());
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
  }
  return out;
}
