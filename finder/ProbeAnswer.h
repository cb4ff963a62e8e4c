// What one probe brought back, and how long to wait for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "RtuTiming.h"
#include "ScanPlan.h"

enum class ProbeKind {
  Answer,     // a whole normal answer with a good CRC from the probed address: a device is there
  Exception,  // an exception answer from that address: a device is there too
  Noise,      // bytes that fail the CRC or come from another address: wrong settings, or a collision
  Nothing     // silence
};

// The probe as a frame: address, code, data, CRC.
std::vector<uint8_t> ProbeFrame(int address, const ProbeRequest& probe);

// The length of a whole normal answer to the probe, as the link works it out;
// for the codes whose answer says its own length (a byte count), the longest.
int ExpectedAnswerLength(const ProbeRequest& probe);

// How long a probe waits for the first byte of an answer: the request on the
// wire at the line's bits per character, plus the margin for the device to
// turn the line around. A silent address costs no more than this.
std::chrono::milliseconds FirstByteTimeout(const ProbeRequest& probe, const LineFormat& format, int marginMs);
// Once it has begun, how long the rest of the answer may take: the expected
// answer on the wire, plus the margin.
std::chrono::milliseconds AnswerTimeout(const ProbeRequest& probe, const LineFormat& format, int marginMs);

struct ProbeVerdict {
  ProbeKind Kind = ProbeKind::Nothing;
  int ExceptionCode = 0;
};
ProbeVerdict ClassifyAnswer(int address, const ProbeRequest& probe, const std::vector<uint8_t>& bytes);
