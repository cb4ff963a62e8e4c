#include "MbapCodec.h"

#include "SimCrc.h"

namespace {
constexpr size_t kHeader = 7;
}  // namespace

std::optional<MbapRequest> MbapAssembler::Next() {
  if (received_.size() < kHeader) return std::nullopt;
  const size_t length = static_cast<size_t>(received_[4]) << 8 | received_[5];
  if (length < 2 || length > 2048 + 8) {
    received_.clear();
    return std::nullopt;
  }
  if (received_.size() < 6 + length) return std::nullopt;
  MbapRequest request;
  request.transaction = static_cast<uint16_t>(received_[0] << 8 | received_[1]);
  request.protocol = static_cast<uint16_t>(received_[2] << 8 | received_[3]);
  request.wire.assign(received_.begin(), received_.begin() + static_cast<long>(6 + length));
  request.rtu.assign(received_.begin() + 6, received_.begin() + static_cast<long>(6 + length));
  AppendCrc(request.rtu);
  received_.erase(received_.begin(), received_.begin() + static_cast<long>(6 + length));
  return request;
}

std::vector<uint8_t> MbapAnswer(const MbapRequest& request, const std::vector<uint8_t>& rtuAnswer,
                                bool wrongTransaction) {
  if (rtuAnswer.size() < 3) return rtuAnswer;
  const size_t pduAndUnit = rtuAnswer.size() - 2;
  const uint16_t transaction = static_cast<uint16_t>(request.transaction + (wrongTransaction ? 1 : 0));
  std::vector<uint8_t> out = {static_cast<uint8_t>(transaction >> 8), static_cast<uint8_t>(transaction),
                              static_cast<uint8_t>(request.protocol >> 8), static_cast<uint8_t>(request.protocol),
                              static_cast<uint8_t>(pduAndUnit >> 8), static_cast<uint8_t>(pduAndUnit)};
  out.insert(out.end(), rtuAnswer.begin(), rtuAnswer.begin() + static_cast<long>(pduAndUnit));
  return out;
}
