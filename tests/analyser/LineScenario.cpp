#include "LineScenario.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "AnswerLength.h"
#include "Crc16.h"
#include "FrameLengths.h"
#include "FunctionCodes.h"
#include "ResultCodes.h"
#include "SimBus.h"

namespace {
int64_t Us(std::chrono::nanoseconds time) { return time.count() / 1000; }

void Put16(std::vector<uint8_t>& bytes, int value) {
  bytes.push_back(static_cast<uint8_t>(value >> 8));
  bytes.push_back(static_cast<uint8_t>(value));
}

// Every request the tool sends, and 16 and 65 that a foreign master may.
std::vector<uint8_t> RandomRequest(std::mt19937& random) {
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  static const uint8_t kCodes[] = {1, 2, 3, 4, 5, 6, 14, 15, 16, 17, 65, 66, 67, 68, 69, 70, 71, 100};
  const uint8_t code = kCodes[pick(0, sizeof kCodes - 1)];
  // Devices 1-3 are served, 4 is not; 0 is everybody's.
  uint8_t address = static_cast<uint8_t>(pick(0, 19) == 0 ? 4 : pick(1, 3));
  if (code == fc::SetClocks || (pick(0, 29) == 0 && ChangesDevice(code))) address = 0;
  std::vector<uint8_t> bytes = {address, code};
  switch (code) {
    case 1: case 2: Put16(bytes, pick(0, 2100)); Put16(bytes, pick(1, 300)); break;
    case 3: case 4: Put16(bytes, pick(0, 1050)); Put16(bytes, pick(1, 126)); break;
    case 5: Put16(bytes, pick(0, 2047)); Put16(bytes, pick(0, 1) ? 0xFF00 : 0); break;
    case 6: Put16(bytes, pick(0, 1023)); Put16(bytes, pick(0, 65535)); break;
    case 15: case 16: {
      const int quantity = pick(1, code == 15 ? 64 : 20);
      Put16(bytes, pick(0, 1000));
      Put16(bytes, quantity);
      const int count = code == 15 ? (quantity + 7) / 8 : 2 * quantity;
      bytes.push_back(static_cast<uint8_t>(count));
      for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    case 65: bytes.push_back(static_cast<uint8_t>(pick(0, 255))); bytes.push_back(0); break;
    case 66: bytes.insert(bytes.end(), {0, static_cast<uint8_t>(pick(0, 255)), 0, static_cast<uint8_t>(pick(0, 255))}); break;
    case 67: bytes.insert(bytes.end(), {0, static_cast<uint8_t>(pick(0, 255))}); break;
    case 68: if (pick(0, 3)) bytes.push_back(static_cast<uint8_t>(pick(1, 8))); break;
    case 69: {
      bytes.push_back(static_cast<uint8_t>(pick(1, 8)));
      for (int i = pick(8, 200); i > 1; --i) bytes.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    case 70: bytes.insert(bytes.end(), {static_cast<uint8_t>(pick(0, 59)), static_cast<uint8_t>(pick(0, 59)),
                                        static_cast<uint8_t>(pick(0, 23)), static_cast<uint8_t>(pick(1, 28)),
                                        static_cast<uint8_t>(pick(1, 12)), 0, 0}); break;
    case 71: bytes.push_back(static_cast<uint8_t>(pick(0, 255))); bytes.push_back(static_cast<uint8_t>(pick(0, 255))); break;
    case 100: {
      const int count = pick(1, 300);
      Put16(bytes, count);
      for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    default: break;  // 14, 17: no data
  }
  return Framed(bytes);
}

// How an exchange ends, read from the bytes: the answer whole with its CRC
// (good, exception, foreign), of the right length with a bad CRC (131), cut
// short or garbled (129 when it began as the answer would, else 130), or
// nothing (130). Sets whether the answer is found as a frame.
int32_t ResultOf(const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer, bool& found,
                 bool& crcGood) {
  const uint8_t address = request[0], code = request[1];
  found = false;
  crcGood = true;
  if (answer.empty()) return ResultNoAnswer;
  const bool head = answer.size() >= 2 && answer[0] == address &&
                    (answer[1] == code || answer[1] == ExceptionFunction(code));
  if (EndsWithItsCrc(static_cast<int32_t>(answer.size()), answer.data())) {
    found = true;
    if (answer[1] == ExceptionFunction(code)) return answer[2];
    return AnswerFits(request.data(), request.size(), answer.data(), answer.size()) ? ResultOk
                                                                                    : ResultReceiveError;
  }
  if (head && answer.size() >= 3 &&
      AnswerFits(request.data(), request.size(), answer.data(), answer.size())) {
    found = true;
    crcGood = false;
    return ResultCrcMismatch;
  }
  return head ? ResultIncomplete : ResultNoAnswer;
}
// A whole frame whose length is one a request of its code has, or, where
// no length of an answer to `request` fits it, a request of the device's
// own codes that only its CRC ends (65, and 69 with a byte of database),
// which a listener takes for requests.
bool ReadsAsRequest(const std::vector<uint8_t>& request, const std::vector<uint8_t>& frame) {
  const auto length = static_cast<int32_t>(frame.size());
  const bool answerLength = AnswerFrameLengths(request.data(), request.size(), frame.data(), frame.size()).Has(length);
  const bool ownOpen = frame[1] == fc::DeviceCode65 || (frame[1] == fc::WriteModuleDatabase && frame.size() >= 6);
  if (ownOpen && !answerLength) return true;
  return RequestFrameLengths(frame.data(), frame.size()).Has(length);
}
}  // namespace

std::vector<uint8_t> Framed(std::vector<uint8_t> bytes) {
  const uint16_t crc = Crc16(static_cast<int32_t>(bytes.size()), bytes.data());
  bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<uint8_t>(crc >> 8));
  return bytes;
}

LineScenario MakeScenario(const ScenarioOptions& options) {
  LineScenario line;
  line.Format = options.Format;
  SimOptions sim;
  sim.devices = {1, 2, 3};
  sim.seed = options.Seed;
  for (const std::string& text : options.Faults)
    if (auto fault = ParseFault(text)) sim.faults.push_back(*fault);
  SimBus bus(sim);
  std::mt19937 random(options.Seed);
  auto pick = [&random](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  const int64_t character = Us(CharacterTime(options.Format));
  const int64_t silence = Us(InterFrameGap(options.Format));
  int64_t now = 10'000;
  auto lay = [&](const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
      now += character;
      line.Bytes.push_back(b);
      line.EndUs.push_back(now);
    }
  };
  auto logFrame = [&](const char* direction, const std::vector<uint8_t>& bytes) {
    line.Log.push_back(DescribeFrame(direction, bytes));
    line.FrameAt.push_back(line.Bytes.size());
    lay(bytes);
  };
  for (int n = 0; n < options.Exchanges; ++n) {
    const std::vector<uint8_t> request = RandomRequest(random);
    logFrame("RX", request);
    const size_t exchange = line.Results.size();
    line.Expected.push_back({true, request, exchange, true});
    const Reply reply = bus.Handle(request);
    bool found = false, crcGood = true;
    int32_t result = ExpectsAnswer(request[0], request[1]) ? ResultOf(request, reply.bytes, found, crcGood) : 0;
    if (!reply.bytes.empty()) {
      const bool early = options.SometimesEarly && pick(0, 4) == 0;
      now += early ? character : silence + pick(0, 5000);
      now += static_cast<int64_t>(reply.delay.count()) * 1000;
      logFrame("TX", reply.bytes);
      if (found && result == ResultReceiveError && ReadsAsRequest(request, reply.bytes)) {
        // A foreign answer with the shape of a request (a wrong function on
        // an exception answer can make a valid 68): heard as one, waiting
        // in vain for its own answer.
        line.Results.push_back(ResultNoAnswer);
        line.Expected.push_back({true, reply.bytes, exchange + 1, true});
        result = ExpectsAnswer(reply.bytes[0], reply.bytes[1]) ? ResultNoAnswer : ResultOk;
      } else if (found) {
        line.Expected.push_back({false, reply.bytes, exchange, crcGood});
      } else {
        line.UnframedBytes += reply.bytes.size();
      }
    }
    line.Results.push_back(result);
    now += silence + pick(2000, 20000);
    // Noise right after a cut answer can make up the answer's length: heard
    // as that answer with a bad CRC, silences being hints only. Not here.
    const bool cutAnswer = !reply.bytes.empty() && !found;
    if (options.NoiseBetween > 0 && std::uniform_real_distribution<double>(0, 1)(random) < options.NoiseBetween &&
        !cutAnswer) {
      std::vector<uint8_t> noise(static_cast<size_t>(pick(1, 4)));
      for (uint8_t& b : noise) b = static_cast<uint8_t>(pick(0x80, 0xFF));
      lay(noise);
      line.UnframedBytes += noise.size();
      now += silence + pick(2000, 5000);
    }
  }
  line.Logged = LoggedFrames(line.Log);
  return line;
}

std::vector<Chunk> CutAt(const LineScenario& line, const std::vector<size_t>& cuts) {
  std::vector<Chunk> chunks;
  size_t from = 0;
  auto add = [&](size_t to) {
    if (to <= from) return;
    Chunk chunk;
    chunk.Bytes.assign(line.Bytes.begin() + static_cast<long>(from), line.Bytes.begin() + static_cast<long>(to));
    chunk.ArrivedUs = line.EndUs[to - 1];
    chunks.push_back(std::move(chunk));
    from = to;
  };
  for (size_t cut : cuts) add(std::min(cut, line.Bytes.size()));
  add(line.Bytes.size());
  return chunks;
}

std::vector<Chunk> CutRandomly(const LineScenario& line, size_t mean, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> step(1, 2 * mean);
  std::vector<size_t> cuts;
  for (size_t at = step(random); at < line.Bytes.size(); at += step(random)) cuts.push_back(at);
  // An adapter hands over what it holds when the line has been quiet for
  // its latency timer, here 1 ms as the README advises: no chunk hides a
  // silence that ends a frame.
  const int64_t character = CharacterTime(line.Format).count() / 1000;
  for (size_t at = 1; at < line.Bytes.size(); ++at)
    if (line.EndUs[at] - character - line.EndUs[at - 1] > 1'000) cuts.push_back(at);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return CutAt(line, cuts);
}

std::vector<Chunk> CutByExchange(const LineScenario& line) {
  std::vector<size_t> cuts;
  for (size_t i = 0; i < line.Logged.size(); ++i)
    if (line.Logged[i].Received) cuts.push_back(line.FrameAt[i]);
  return CutAt(line, cuts);
}
