// How long a normal answer is, as the link reads it: by the request's code
// and, for most codes, by the byte count in the answer's head. And the
// quantities whose byte counts fit their one byte.
#pragma once

#include <cstddef>
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

// The longest normal answer a request can get, for waiting on it: by the
// quantity asked for 1-4, the echo for 5, 6 and 14, 8 bytes for 15, the
// device's fixed answers for 66 (24 data bytes), 67 (128), 71 (216) and
// 100 (2), and the longest counted answer for the rest (17, 68).
int32_t LongestAnswerLength(uint8_t code, const uint8_t* data, int32_t dataLen);

// How many bytes of `answer` (`answerSize` bytes) the engine stored for a
// transaction of `code` that returned `result` with `answerLen` its last
// expected length: none for codes without answer, the 3-byte head of an
// exception answer (its CRC stays unread) or of a foreign or wrongly
// counted one (its rest is discarded), else the expected length.
size_t StoredAnswerLength(uint8_t code, int32_t result, int32_t answerLen, const uint8_t* answer,
                          size_t answerSize);

// The byte count a normal answer to a read of bits (1, 2) or registers
// (3, 4) must carry, from the quantity in the request data (bytes 2-3);
// nullopt for other codes, for shorter data, or when it cannot fit a byte.
std::optional<uint8_t> ExpectedByteCount(uint8_t code, const uint8_t* data, int32_t dataLen);

// Whether a quantity typed for `code` fits its frame: 1–4 up to the largest
// whose answer's byte count fits, 15 from 1 to kMaxBitQuantity; any
// quantity for other codes.
bool QuantityFits(uint8_t code, int32_t quantity);
