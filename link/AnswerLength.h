// How long a normal answer is, as the link reads it: by the request's code
// and, for most codes, by the byte count in the answer's head. And the
// quantities whose byte counts fit their one byte.
#pragma once

#include <cstdint>
#include <optional>

// The longest answer with a byte count: address, code, count, 255 data bytes, CRC.
inline constexpr int32_t kMaxCountedAnswer = 260;
// The largest quantities whose byte count (of the answer for 1–4, of the
// request for 15) fits its one byte: 255 bytes of bits, 127 registers.
inline constexpr int32_t kMaxBitQuantity = 2040;
inline constexpr int32_t kMaxRegisterQuantity = 127;

// The whole normal answer's length: the echo of the request for 5 and 14,
// 8 bytes for 15, otherwise the head's byte count + 5.
int32_t ExpectedAnswerLength(uint8_t code, int32_t requestFrameLen, uint8_t byteCount);

// The byte count a normal answer to a read of bits (1, 2) or registers
// (3, 4) must carry, from the quantity in the request data (bytes 2-3);
// nullopt for other codes, for shorter data, or when it cannot fit a byte.
std::optional<uint8_t> ExpectedByteCount(uint8_t code, const uint8_t* data, int32_t dataLen);

// Whether a quantity typed for `code` fits its frame: 1–4 up to the largest
// whose answer's byte count fits, 15 from 1 to kMaxBitQuantity; any
// quantity for other codes.
bool QuantityFits(uint8_t code, int32_t quantity);
