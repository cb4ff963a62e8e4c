#include "LineHostProtocol.h"

namespace LineHost {

namespace {
constexpr size_t kHeader = 5;
}

std::string Frame(Kind kind, const std::string& payload) {
  std::string out(kHeader, '\0');
  out[0] = kind;
  const auto size = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  return out + payload;
}

bool TakeMessage(std::string& buffer, Message& message) {
  if (buffer.size() < kHeader) return false;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size |= uint32_t(static_cast<uint8_t>(buffer[1 + i])) << (8 * i);
  if (buffer.size() < kHeader + size) return false;
  message.kind = static_cast<Kind>(buffer[0]);
  message.payload = buffer.substr(kHeader, size);
  buffer.erase(0, kHeader + size);
  return true;
}

std::string ReadPayload(int64_t clockNs, const std::string& bytes) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((uint64_t(clockNs) >> (8 * i)) & 0xFF);
  return out + bytes;
}

bool SplitReadPayload(const std::string& payload, int64_t& clockNs, std::string& bytes) {
  if (payload.size() < 8) return false;
  uint64_t clock = 0;
  for (int i = 0; i < 8; ++i) clock |= uint64_t(static_cast<uint8_t>(payload[i])) << (8 * i);
  clockNs = static_cast<int64_t>(clock);
  bytes = payload.substr(8);
  return true;
}

}  // namespace LineHost
