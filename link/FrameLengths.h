// How long a frame is on the line, read from its first bytes, for finding
// frames in a stream the link did not start: a request by its code (fixed,
// or counted in the frame), an answer by the request it answers or by its
// own head. Some frames have two lengths (68 and 70 with and without data,
// an answer to 6 as the link reads it and as devices send it) and some any
// length (69 carries a database; 65 and codes of other layouts): the CRC
// finds their end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The longest frame whose end only the CRC finds: a database write of 255
// bytes (69) and the longest counted answer both fit.
inline constexpr int32_t kMaxOpenFrame = 260;
// The shortest frame: address, code, CRC.
inline constexpr int32_t kMinFrame = 4;

struct FrameLengths {
  std::array<int32_t, 4> Lengths{};  // the lengths it may have, each ≥ kMinFrame
  int Count = 0;
  // Besides those, any length from kMinFrame to kMaxOpenFrame.
  bool Open = false;
  // More of the frame is needed to tell: call again with this many bytes.
  int32_t NeedBytes = 0;

  void Add(int32_t length);
  void Merge(const FrameLengths& other);
  bool Empty() const { return Count == 0 && !Open && NeedBytes == 0; }
  bool Has(int32_t length) const;  // one of Lengths
};

// A request whose first `available` bytes are at `frame` (at least 2).
FrameLengths RequestFrameLengths(const uint8_t* frame, size_t available);

// An answer to `request` (a whole request frame of `requestLen` bytes), by
// the request's code whatever the answer's own code says, as the link reads
// it; an exception answer when the answer says so.
FrameLengths AnswerFrameLengths(const uint8_t* request, size_t requestLen, const uint8_t* answer,
                                size_t available);

// An answer whose request is not known: by its own code.
FrameLengths AnswerFrameLengths(const uint8_t* answer, size_t available);

// Whether a request of `code` to `address` gets an answer: not a broadcast
// (address 0), not 69 or 70.
bool ExpectsAnswer(uint8_t address, uint8_t code);

// Whether `answer` (a whole frame) has the shape of an answer to `request`:
// the request's code or its exception, and the length the code asks for.
bool AnswerFits(const uint8_t* request, size_t requestLen, const uint8_t* answer, size_t answerLen);

// Whether `answer`, of which `available` bytes have come, says what an
// answer to `request` says, its address aside: the exception of its code,
// or its code with the start and value or quantity a write (5, 6, 15, 16)
// echoes and the byte count a read of bits or registers (1-4) asks for.
// Bytes not yet come are taken to agree.
bool AnswerAgrees(const uint8_t* request, size_t requestLen, const uint8_t* answer, size_t available);
