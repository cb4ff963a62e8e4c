// The fuzz input, read from the front one decision at a time, so that seed
// files can be written by hand (fuzz/make_seeds.py). Past its end every read
// gives 0, which every harness takes as "stop": silence, no more frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Little-endian.
  uint16_t U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | Byte() << 8);
  }
  std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = Byte();
    return bytes;
  }
  // A length byte (taken modulo maxLength + 1), then that many characters.
  std::string Text(size_t maxLength) {
    const size_t length = Byte() % (maxLength + 1);
    std::string text;
    for (size_t i = 0; i < length && !Empty(); ++i) text += static_cast<char>(Byte());
    return text;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
