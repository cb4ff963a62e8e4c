// The simulator's request framing and its devices, fed as its line server
// feeds them: bytes arriving in chunks, silences, and frames handed to the
// bus directly. Checks: a frame taken off the stream is within what was
// received and, when its length was computed, long enough for address, code
// and CRC; a frame that must not be answered (bad CRC, broadcast, an address
// not served, 69, 70) is not; an answer is never longer than a Modbus RTU
// frame (256 bytes), except the documented ones: a module database of up to
// 255 bytes (code 68, 260 bytes) and garbage of a given length; without
// faults every answer is well-formed: the request's address, its code or
// exception, a good CRC.
//
// Input: served addresses (bit mask), busy polls, up to two faults, seed,
// then events (kind byte): bytes arrive, a well-formed frame arrives, the
// line falls silent, or a frame goes to the bus directly.
#include <algorithm>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "RequestAssembler.h"
#include "RequestFraming.h"
#include "SimBus.h"
#include "SimCrc.h"

namespace {
constexpr size_t kRtuMaxFrame = 256;
constexpr size_t kLongestDatabaseAnswer = 5 + 255;
enum : uint8_t { kBytes, kFormedFrame, kSilence, kDirect };

SimOptions Options(FuzzInput& input) {
  SimOptions options;
  const uint8_t mask = input.Byte();
  options.devices.clear();
  for (int bit = 0; bit < 7; ++bit)
    if (mask & (1 << bit)) options.devices.push_back(static_cast<uint8_t>(bit + 1));
  if (mask & 0x80) options.devices.push_back(247);
  if (options.devices.empty()) options.devices.push_back(1);
  options.busy.polls = input.Byte() % 4;  // never a busy time: that would read the clock
  for (int n = input.Byte() % 3; n > 0; --n) {
    Fault fault{static_cast<FaultKind>(input.Byte() % 8)};
    // Within what --fault accepts (up to 60000 for lengths; a few hundred tell as much, faster).
    fault.arg = fault.kind == FaultKind::Exception ? input.Byte() % 255 + 1 : input.U16() % 1024;
    fault.probability = input.Byte() & 1 ? 1.0 : 0.5;
    options.faults.push_back(fault);
  }
  options.seed = input.Byte();
  return options;
}

size_t LongestAnswer(uint8_t code, const std::vector<Fault>& faults) {
  size_t longest = code == 68 ? kLongestDatabaseAnswer : kRtuMaxFrame;
  for (const Fault& f : faults)
    if (f.kind == FaultKind::Garbage) longest = std::max(longest, static_cast<size_t>(f.arg));
  return longest;
}

void Serve(SimBus& bus, const SimOptions& options, const std::vector<uint8_t>& frame) {
  const Reply reply = bus.Handle(frame);
  const auto& answer = reply.bytes;
  const bool served = frame.size() >= 4 &&
                      std::find(options.devices.begin(), options.devices.end(), frame[0]) != options.devices.end();
  if (!served || !FrameCrcGood(frame) || frame[1] == 69 || frame[1] == 70) {
    FUZZ_REQUIRE(answer.empty(), "an answer to a frame that gets none");
    return;
  }
  FUZZ_REQUIRE(answer.size() <= LongestAnswer(frame[1], options.faults), "an answer longer than a frame");
  if (!options.faults.empty() || answer.empty()) return;
  FUZZ_REQUIRE(answer.size() >= 4 && FrameCrcGood(answer), "an answer with a bad CRC");
  FUZZ_REQUIRE(answer[0] == frame[0], "an answer from another address");
  if (answer[1] == (frame[1] | 0x80))
    FUZZ_REQUIRE(answer.size() == 5, "an exception answer of the wrong length");
  else
    FUZZ_REQUIRE(answer[1] == frame[1], "an answer with another code");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzInput input(bytes, size);
  const SimOptions options = Options(input);
  SimBus bus(options);
  RequestAssembler requests;
  size_t pending = 0;  // bytes received and not yet taken as a frame

  auto drain = [&] {
    while (const auto frame = requests.NextComplete()) {
      FUZZ_REQUIRE(frame->size() >= 4 && frame->size() <= pending, "a computed frame length out of bounds");
      FUZZ_REQUIRE(frame->size() == CompleteRequestLength(frame->data(), frame->size()), "a frame cut wrong");
      pending -= frame->size();
      Serve(bus, options, *frame);
    }
  };
  auto arrive = [&](const std::vector<uint8_t>& chunk) {
    requests.Add(chunk.data(), chunk.size());
    pending += chunk.size();
    drain();
  };

  while (!input.Empty()) {
    const uint8_t kind = input.Byte();
    switch (kind % 4) {
      case kBytes:
        arrive(input.Bytes(input.Byte()));
        break;
      case kFormedFrame: {
        std::vector<uint8_t> frame{input.Byte(), input.Byte()};
        const auto data = input.Bytes(kind & 0x80 ? input.U16() % 2100 : input.Byte() % 16);
        frame.insert(frame.end(), data.begin(), data.end());
        AppendCrc(frame);
        arrive(frame);
        break;
      }
      case kSilence:
        if (const auto frame = requests.EndBySilence()) {
          FUZZ_REQUIRE(!frame->empty() && frame->size() <= pending, "a silence frame out of bounds");
          pending -= frame->size();
          Serve(bus, options, *frame);
          drain();
        } else {
          FUZZ_REQUIRE(pending == 0, "pending bytes not taken at a silence");
        }
        break;
      case kDirect: {
        std::vector<uint8_t> frame = input.Bytes(input.U16() % 400);
        if (kind & 4 && frame.size() >= 2) {
          frame.resize(frame.size() - 2);
          AppendCrc(frame);
        }
        Serve(bus, options, frame);
        break;
      }
    }
  }
  FUZZ_REQUIRE(requests.Pending() == (pending > 0), "pending bytes lost");
  return 0;
}
