#include "RequestAssembler.h"

#include "RequestFraming.h"

void RequestAssembler::Add(const uint8_t* bytes, size_t count) {
  received_.insert(received_.end(), bytes, bytes + count);
}

std::vector<uint8_t> RequestAssembler::Take(size_t count) {
  std::vector<uint8_t> frame(received_.begin(), received_.begin() + static_cast<long>(count));
  received_.erase(received_.begin(), received_.begin() + static_cast<long>(count));
  return frame;
}

std::optional<std::vector<uint8_t>> RequestAssembler::NextComplete() {
  if (received_.empty()) return std::nullopt;
  const size_t length = CompleteRequestLength(received_.data(), received_.size());
  if (length == 0 || received_.size() < length) return std::nullopt;
  return Take(length);
}

std::optional<std::vector<uint8_t>> RequestAssembler::EndBySilence() {
  if (received_.empty()) return std::nullopt;
  return Take(SilenceFrameLength(received_.data(), received_.size()));
}
