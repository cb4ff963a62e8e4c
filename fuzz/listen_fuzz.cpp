// Fuzzing the splitter of a heard line and the analyser behind it.
//
// Input: byte 0 picks the rate (9600, 19200, 115200); then chunks, each a
// length byte (its low 6 bits: 0..63 bytes), a gap byte (the time since the
// chunk before, in quarter characters) and the chunk's bytes; every eighth
// gap byte of 0xFF is a long silence instead (one second).
//
// Checks: every byte fed comes out once, in order, in exactly one frame
// (nothing lost, nothing invented); a request or answer is at least four
// bytes and ends in its CRC unless it is an answer marked as failing it; the
// analyser completes every frame by the end of the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Crc16.h"
#include "FrameSplitter.h"
#include "FuzzCheck.h"
#include "LineAnalyser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const int kRates[] = {9600, 19200, 115200};
  const LineFormat format{kRates[data[0] % 3], false, 2};
  const SplitterTiming timing = SplitterTiming::For(format);
  FrameSplitter splitter(timing);
  LineAnalyser analyser(format, 1000);
  std::vector<uint8_t> fed, heard;
  auto take = [&] {
    for (const SplitFrame& frame : splitter.Take()) {
      FUZZ_REQUIRE(!frame.Bytes.empty(), "an empty frame");
      if (frame.Kind != SplitKind::Unframed) {
        FUZZ_REQUIRE(frame.Bytes.size() >= 4, "a frame shorter than address, code and CRC");
        const bool holds = EndsWithItsCrc(static_cast<int32_t>(frame.Bytes.size()), frame.Bytes.data());
        FUZZ_REQUIRE(holds == frame.CrcGood, "a frame whose CRC is not what it says");
        FUZZ_REQUIRE(frame.CrcGood || frame.Kind == SplitKind::Answer, "a request with a bad CRC");
      }
      FUZZ_REQUIRE(frame.StartUs <= frame.EndUs, "a frame that ends before it starts");
      heard.insert(heard.end(), frame.Bytes.begin(), frame.Bytes.end());
    }
  };
  int64_t now = 1'000'000;
  size_t at = 1;
  while (at + 2 <= size) {
    const size_t length = data[at] & 63;
    const uint8_t gap = data[at + 1];
    at += 2;
    now += gap == 0xFF ? 1'000'000 : gap * timing.CharacterUs / 4;
    const size_t n = std::min(length, size - at);
    now += static_cast<int64_t>(n) * timing.CharacterUs;
    if (n == 0) {
      splitter.Idle(now);
      analyser.Idle(now);
    } else {
      splitter.Feed(data + at, n, now);
      analyser.Feed(data + at, n, now);
      fed.insert(fed.end(), data + at, data + at + n);
    }
    at += n;
    take();
  }
  splitter.Finish();
  analyser.Finish();
  take();
  FUZZ_REQUIRE(heard == fed, "the frames do not add up to the bytes heard");
  FUZZ_REQUIRE(splitter.Held() == 0, "bytes held after the end");
  FUZZ_REQUIRE(analyser.CompleteBefore() == analyser.Frames().NextSeq(), "a frame left incomplete");
  return 0;
}
