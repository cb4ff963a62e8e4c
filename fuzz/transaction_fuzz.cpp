// The transaction engine and the serial component over a device that answers
// whatever the input says. Checks: the caller's answer buffer is never
// written past its declared size; the result is a documented code; a refused
// code or length, or a closed port, sends nothing; every write is exactly the
// request frame; a result of 0 means a whole answer with a good CRC; a pause
// follows every failed attempt and no other.
//
// Input, per transaction: code, data length (int16), device index, flags,
// two repeat counts, answer buffer size (uint16 mod 400), bytes already
// queued, the data, then the device's moves (ScriptedLine.h); after it, an
// odd byte asks for another transaction on the same port (up to three).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "Crc16.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzOperator.h"
#include "ScriptedLine.h"
#include "SteppingClock.h"
#include "TrafficRecorder.h"

namespace {
enum : uint8_t {
  kPortClosed = 1,
  kCanary = 2,       // the buffer is larger, with a pattern after the declared size
  kNullAnswer = 4,   // no buffer at all when its size is 0
  kPurgeFails = 8,   // the next byte says which purge
  kNegativeDelays = 16,
  kNullData = 32,
  kMonitored = 64,   // the traffic monitor's recorder follows the link
};
constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanaryByte = 0xA5;

bool Allowed(uint8_t code) {
  return std::find(AllowedCodes.begin(), AllowedCodes.end(), code) != AllowedCodes.end();
}

bool IsFailureCode(int32_t result) { return result >= ResultReceiveError && result <= ResultCrcMismatch; }

// The frame the link must write for this request.
std::vector<uint8_t> ExpectedFrame(int32_t deviceIndex, uint8_t code, int32_t len, const uint8_t* data) {
  std::vector<uint8_t> frame(static_cast<size_t>(len) + 2, 0);
  frame[0] = static_cast<uint8_t>(deviceIndex + 1);
  frame[1] = code;
  if (code == 70 && len > 0) {
    // Broadcast, and the time of day of the clock's first reading.
    const LocalDateTime t = SteppingClock::At(0);
    frame[0] = 0;
    const uint8_t fields[5] = {uint8_t(t.Second), uint8_t(t.Minute), uint8_t(t.Hour), uint8_t(t.Day),
                               uint8_t(t.Month)};
    std::copy_n(fields, std::min(len, 5), frame.begin() + 2);
  } else if (len > 0) {
    std::copy_n(data, len, frame.begin() + 2);
  }
  const uint16_t crc = Crc16(len + 2, frame.data());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// The whole normal answer a result of 0 stands for.
void CheckGoodAnswer(uint8_t code, int32_t len, const uint8_t* answer, int32_t size) {
  FUZZ_REQUIRE(size >= 4, "success with an answer buffer too small for any answer");
  const bool exceptionZero = answer[1] == (code | 0x80) && answer[2] == 0;
  FUZZ_REQUIRE(answer[1] == code || exceptionZero, "success with a foreign function code");
  int32_t expected = answer[2] + 5;
  if (code == 5 || code == 14) expected = len + 4;
  if (code == 15) expected = 8;
  FUZZ_REQUIRE(expected <= size, "success with an answer longer than the buffer");
  const uint16_t crc = Crc16(expected - 2, answer);
  FUZZ_REQUIRE(answer[expected - 2] == (crc & 0xFF) && answer[expected - 1] == (crc >> 8),
               "success with a bad CRC");
}

// One port, link and device for all the transactions of an input, so that
// what one leaves behind (an exception's unread CRC, working fields) meets
// the next.
struct Rig {
  explicit Rig(FuzzInput& in) : input(in), line(in), form(in), link(port, form) {
    port.SetEvents(TComEvents());  // no event thread
    link.Clock = SteppingClock{&readings};
  }
  FuzzInput& input;
  ScriptedLine line;
  TComPort port;
  FuzzOperator form;
  TComPortClass link;
  int readings = 0;
  TrafficRecorder recorder{64};  // a small ring, so that it wraps
};

void OneTransaction(Rig& rig) {
  FuzzInput& input = rig.input;
  const uint8_t code = input.Byte();
  const int32_t len = static_cast<int16_t>(input.U16());
  const int32_t deviceIndex = input.Byte();
  const uint8_t flags = input.Byte();
  const int32_t repeats1 = input.Byte() % 6 - 1;
  const int32_t repeats2 = input.Byte() % 6 - 1;
  const int32_t answerSize = input.U16() % 400;
  const std::vector<uint8_t> junk = input.Bytes(input.Byte() % 16);

  // Exactly as many data bytes as declared, so that reading more is caught.
  std::unique_ptr<uint8_t[]> data;
  if (len > 0 && !(flags & kNullData)) {
    data = std::make_unique<uint8_t[]>(static_cast<size_t>(len));
    for (int32_t i = 0; i < std::min(len, kMaxDataLen); ++i) data[static_cast<size_t>(i)] = input.Byte();
  }

  // The answer buffer: exactly the declared size on the heap, or larger with a canary.
  const bool canary = flags & kCanary;
  const size_t allocated = static_cast<size_t>(answerSize) + (canary ? kCanaryBytes : 0);
  std::unique_ptr<uint8_t[]> answer;
  if (allocated > 0 || !(flags & kNullAnswer)) answer = std::make_unique<uint8_t[]>(allocated);
  if (canary) std::memset(answer.get() + answerSize, kCanaryByte, kCanaryBytes);

  ScriptedLine& line = rig.line;
  TComPortClass& link = rig.link;
  line.FailPurge(-1);
  if (flags & kPortClosed)
    rig.port.Close();
  else
    rig.port.Open();  // nothing when open already
  line.Queue(junk);
  line.ClearRecords();
  // The first purge of the transaction, or one after a foreign head.
  if (flags & kPurgeFails) line.FailPurge(input.Byte() % 3);
  FuzzOperator& form = rig.form;
  form.Clear();
  rig.readings = 0;
  link.SetRepeats1(repeats1);
  link.SetRepeats2(repeats2);
  link.SetTxDelay(flags & kNegativeDelays ? -1 : 0);
  link.SetRxDelay(flags & kNegativeDelays ? -7 : 0);

  if (flags & kMonitored)
    rig.recorder.Attach(link);
  else
    rig.recorder.Detach();
  const uint64_t firstFrame = rig.recorder.Frames().NextSeq();

  int32_t result = -1;
  bool raised = false;
  try {
    result = link.Transact(deviceIndex, code, len, data.get(), answer.get(), answerSize);
  } catch (const EComPort& e) {
    // A failing read or write leaves Transact, as documented; a failing purge
    // is the lost port, reported below.
    FUZZ_REQUIRE(e.FailureCode == CError_ReadFailed || e.FailureCode == CError_WriteFailed,
                 "a port failure other than of a read or write left Transact");
    raised = true;
  }

  if (canary)
    for (size_t i = 0; i < kCanaryBytes; ++i)
      FUZZ_REQUIRE(answer[static_cast<size_t>(answerSize) + i] == kCanaryByte,
                   "written past the declared answer buffer size");

  if (std::getenv("FUZZ_VERBOSE"))
    std::fprintf(stderr, "code %u, length %d, device %d, buffer %d: result %d%s after %zu writes, %d reads\n",
                 code, len, deviceIndex, answerSize, result, raised ? " (raised)" : "", line.Writes.size(), line.Reads);

  const bool refused = !Allowed(code) || len < 0 || len > kMaxDataLen || (len > 0 && !data && code != 70);
  if (refused || (flags & kPortClosed)) {
    FUZZ_REQUIRE(!raised, "a refused request raised");
    FUZZ_REQUIRE(result == (refused ? ResultCodeRefused : ResultPortNotOpen), "wrong refusal code");
    FUZZ_REQUIRE(line.Writes.empty() && line.Purges.empty(), "a refused request touched the port");
    return;
  }

  FUZZ_REQUIRE(!line.Writes.empty() || raised, "an accepted request was not sent");
  if (flags & kMonitored) {
    // The monitor lists every request written, as written, and once the
    // transaction has ended, all its frames are complete.
    size_t requests = 0;
    for (const MonitorFrame& frame : rig.recorder.Frames().Frames()) {
      if (frame.Seq < firstFrame || frame.Direction != FrameDirection::Tx) continue;
      FUZZ_REQUIRE(requests < line.Writes.size() && frame.Bytes == line.Writes[requests],
                   "the monitor shows a request that was not written");
      ++requests;
    }
    const size_t kept = rig.recorder.Frames().Size();
    FUZZ_REQUIRE(kept <= rig.recorder.Frames().Capacity(), "the monitor's ring grew past its size");
    // A write that failed sent nothing the monitor could show.
    if (rig.recorder.Frames().Dropped() == 0)
      FUZZ_REQUIRE(requests == line.Writes.size() || (raised && requests + 1 == line.Writes.size()),
                   "the monitor missed a request");
    if (!raised)
      FUZZ_REQUIRE(rig.recorder.CompleteBefore() == rig.recorder.Frames().NextSeq(),
                   "frames of an ended transaction still incomplete");
  }
  FUZZ_REQUIRE(line.Writes.empty() || line.PurgedBeforeFirstWrite, "no purge of both queues before the first write");
  const auto expected = ExpectedFrame(deviceIndex, code, len, data.get());
  for (const auto& frame : line.Writes) FUZZ_REQUIRE(frame == expected, "a write that is not the request frame");
  const size_t maxAttempts = static_cast<size_t>(std::max(repeats1, 1) * std::max(repeats2, 1));
  FUZZ_REQUIRE(line.Writes.size() <= maxAttempts, "more attempts than the repeat counts allow");
  const auto lost = static_cast<size_t>(line.FailedPurges);
  FUZZ_REQUIRE(form.PollTimerDisabled == form.MainWindowClosed && form.Texts.size() == lost &&
                   static_cast<size_t>(form.MainWindowClosed) == lost &&
                   std::all_of(form.Texts.begin(), form.Texts.end(), [](const std::string& t) { return t == kPortLostText; }),
               "a failed purge not reported as the lost port, or a box without one");
  if (raised) return;

  FUZZ_REQUIRE(result >= 0 && result <= 255, "result outside the documented codes");
  if (code == 69 || code == 70) {
    FUZZ_REQUIRE(result == ResultOk && line.Writes.size() == 1 && line.Reads == 0,
                 "a request without answer did not end right after its write");
    return;
  }
  const int clockFrameReadings = code == 70 && len > 0 ? 1 : 0;
  const int pauses = (rig.readings - clockFrameReadings) / 2;
  const int attempts = static_cast<int>(line.Writes.size());
  if (result == ResultOk) {
    CheckGoodAnswer(code, len, answer.get(), answerSize);
    FUZZ_REQUIRE(pauses == attempts - 1, "a pause after a successful attempt");
  } else {
    FUZZ_REQUIRE(pauses == attempts || pauses == attempts - 1, "a failed attempt without its pause");
    if (pauses == attempts) FUZZ_REQUIRE(IsFailureCode(result), "a failure ended with an undocumented code");
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzInput input(bytes, size);
  Rig rig(input);
  // Up to three transactions: after each, an odd byte asks for another.
  for (int n = 0; n < 3; ++n) {
    OneTransaction(rig);
    if (!(input.Byte() & 1)) break;
  }
  return 0;
}
