// The splitter and the analyser against lines made from the simulator's
// log: every logged frame is found, paired with its request and classed as
// the exchange ended, however the bytes were cut into chunks; bytes of no
// frame are counted as such and no frame is invented.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "Crc16.h"
#include "FrameText.h"
#include "FrameSplitter.h"
#include "LineAnalyser.h"
#include "LineScenario.h"
#include "ResultCodes.h"

namespace {
struct Heard {
  std::vector<MonitorFrame> Frames;
  size_t Unframed = 0;
};

Heard Listen(const LineScenario& line, const std::vector<Chunk>& chunks) {
  LineAnalyser analyser(line.Format, 1'000'000);
  for (const Chunk& chunk : chunks) analyser.Feed(chunk.Bytes.data(), chunk.Bytes.size(), chunk.ArrivedUs);
  analyser.Finish();
  Heard heard;
  for (const MonitorFrame& frame : analyser.Frames().Frames()) {
    EXPECT_TRUE(frame.Complete);
    if (frame.Direction == FrameDirection::Unframed) heard.Unframed += frame.Bytes.size();
    heard.Frames.push_back(frame);
  }
  EXPECT_EQ(analyser.CompleteBefore(), analyser.Frames().NextSeq());
  return heard;
}

// Found, paired and classed as the log says; `what` names the cutting.
void ExpectAsLogged(const LineScenario& line, const Heard& heard, const std::string& what) {
  SCOPED_TRACE(what);
  std::vector<const MonitorFrame*> framed;
  for (const MonitorFrame& frame : heard.Frames)
    if (frame.Direction != FrameDirection::Unframed) framed.push_back(&frame);
  for (size_t i = 0; i < std::min(framed.size(), line.Expected.size()); ++i) {
    ASSERT_EQ(HexText(framed[i]->Bytes), HexText(line.Expected[i].Bytes))
        << "frame " << i << (line.Expected[i].Request ? " (request)" : " (answer)") << " after "
        << (i ? HexText(line.Expected[i - 1].Bytes) : "");
  }
  ASSERT_EQ(framed.size(), line.Expected.size());
  std::map<size_t, uint64_t> transactionOf;  // exchange → the request's transaction
  std::map<size_t, int32_t> outcome;
  for (size_t i = 0; i < framed.size(); ++i) {
    const ExpectedFrame& expected = line.Expected[i];
    const MonitorFrame& frame = *framed[i];
    ASSERT_EQ(frame.Bytes, expected.Bytes) << "frame " << i;
    ASSERT_EQ(frame.Direction, expected.Request ? FrameDirection::Tx : FrameDirection::Rx)
        << "frame " << i << ": " << HexText(frame.Bytes) << " after " << (i ? HexText(framed[i - 1]->Bytes) : "");
    if (expected.Request) {
      EXPECT_EQ(transactionOf.count(expected.Exchange), 0u);
      transactionOf[expected.Exchange] = frame.Transaction;
      outcome[expected.Exchange] = frame.AttemptResult.value_or(0);
    } else {
      EXPECT_EQ(frame.Transaction, transactionOf[expected.Exchange])
          << "answer " << i << " paired: " << HexText(frame.Bytes) << " after " << HexText(framed[i - 1]->Bytes);
      outcome[expected.Exchange] = frame.AttemptResult.value_or(-1);
    }
  }
  for (size_t exchange = 0; exchange < line.Results.size(); ++exchange)
    EXPECT_EQ(outcome[exchange], line.Results[exchange]) << "exchange " << exchange;
  EXPECT_EQ(heard.Unframed, line.UnframedBytes);
}

ScenarioOptions Faulty(int exchanges, uint32_t seed) {
  ScenarioOptions options;
  options.Exchanges = exchanges;
  options.Seed = seed;
  options.Faults = {"exception:4@0.05", "badcrc@0.05", "wrongfunc@0.05", "wrongaddr@0.05",
                    "silence@0.05",     "partial:2@0.03", "partial:7@0.03", "garbage@0.03"};
  return options;
}
}  // namespace

TEST(FrameSplitter, EveryFrameOfACleanLineInOneChunk) {
  ScenarioOptions options;
  options.Exchanges = 300;
  const LineScenario line = MakeScenario(options);
  ExpectAsLogged(line, Listen(line, CutAt(line, {})), "one chunk");
}

TEST(FrameSplitter, EveryCodeAndBroadcastIsInTheMix) {
  const LineScenario line = MakeScenario(Faulty(300, 2));
  std::map<int, int> codes;
  int broadcasts = 0, exceptions = 0;
  for (const ExpectedFrame& frame : line.Expected) {
    if (frame.Request) ++codes[frame.Bytes[1]];
    if (frame.Request && frame.Bytes[0] == 0) ++broadcasts;
    if (!frame.Request && (frame.Bytes[1] & 0x80)) ++exceptions;
  }
  for (int code : {1, 2, 3, 4, 5, 6, 14, 15, 16, 17, 65, 66, 67, 68, 69, 70, 71, 100})
    EXPECT_GT(codes[code], 0) << "code " << code;
  EXPECT_GT(broadcasts, 0);
  EXPECT_GT(exceptions, 0);
  std::map<int32_t, int> results;
  for (int32_t result : line.Results) ++results[result];
  for (int32_t result : std::vector<int32_t>{0, 1, 4, ResultReceiveError, ResultIncomplete, ResultNoAnswer, ResultCrcMismatch})
    EXPECT_GT(results[result], 0) << "result " << result;
}

TEST(FrameSplitter, FaultsAtEveryCutPosition) {
  const LineScenario line = MakeScenario(Faulty(40, 3));
  // As an adapter delivers them: a chunk per frame, and one more cut.
  for (size_t cut = 1; cut < line.Bytes.size(); ++cut) {
    std::vector<size_t> cuts = line.FrameAt;
    cuts.insert(std::upper_bound(cuts.begin(), cuts.end(), cut), cut);
    ExpectAsLogged(line, Listen(line, CutAt(line, cuts)), "cut at " + std::to_string(cut));
    if (HasFailure()) return;
  }
}

TEST(FrameSplitter, FaultsInRandomChunks) {
  const LineScenario line = MakeScenario(Faulty(400, 4));
  for (size_t mean : {1, 2, 5, 17, 64, 300})
    for (uint32_t seed = 1; seed <= 3; ++seed)
      ExpectAsLogged(line, Listen(line, CutRandomly(line, mean, seed)),
                     "about every " + std::to_string(mean) + " bytes, seed " + std::to_string(seed));
}

TEST(FrameSplitter, RequestAndAnswerGluedInOneChunk) {
  const LineScenario line = MakeScenario(Faulty(400, 5));
  ExpectAsLogged(line, Listen(line, CutByExchange(line)), "one chunk per exchange");
}

TEST(FrameSplitter, NoiseBetweenFrames) {
  ScenarioOptions options = Faulty(400, 6);
  options.NoiseBetween = 0.3;
  const LineScenario line = MakeScenario(options);
  ASSERT_GT(line.UnframedBytes, 100u);
  for (size_t mean : {1, 7, 64}) ExpectAsLogged(line, Listen(line, CutRandomly(line, mean, 9)), "noise, chunks of about " + std::to_string(mean));
  ExpectAsLogged(line, Listen(line, CutByExchange(line)), "noise, glued");
}

TEST(FrameSplitter, AnswersBeforeTheSilenceAreFoundAndFlagged) {
  ScenarioOptions options;
  options.Exchanges = 300;
  options.SometimesEarly = true;
  const LineScenario line = MakeScenario(options);
  const Heard heard = Listen(line, CutRandomly(line, 8, 1));
  ExpectAsLogged(line, heard, "early answers");
  int early = 0;
  for (const MonitorFrame& frame : heard.Frames) early += frame.TooSoon;
  EXPECT_GT(early, 10);
}

// A byte of noise inside a frame spoils that frame alone: the others are
// found, and every frame found is one the log holds, where it holds it.
TEST(FrameSplitter, NoiseInsideFramesInventsNothing) {
  LineScenario line = MakeScenario(Faulty(300, 7));
  std::mt19937 random(11);
  std::vector<size_t> spoiled;
  for (size_t i = 3; i < line.FrameAt.size(); i += 7) {
    const size_t at = line.FrameAt[i] + 1 + random() % 2;
    line.Bytes.insert(line.Bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
    line.EndUs.insert(line.EndUs.begin() + static_cast<long>(at), line.EndUs[at]);
    for (size_t j = i + 1; j < line.FrameAt.size(); ++j) ++line.FrameAt[j];
    spoiled.push_back(i);
  }
  const Heard heard = Listen(line, CutRandomly(line, 5, 2));
  std::vector<std::vector<uint8_t>> logged, found;
  for (size_t i = 0; i < line.Logged.size(); ++i)
    if (std::find(spoiled.begin(), spoiled.end(), i) == spoiled.end()) logged.push_back(line.Logged[i].Bytes);
  size_t next = 0, matched = 0;
  for (const MonitorFrame& frame : heard.Frames) {
    if (frame.Direction == FrameDirection::Unframed) continue;
    if (!EndsWithItsCrc(static_cast<int32_t>(frame.Bytes.size()), frame.Bytes.data())) continue;
    // A good frame found must be the next unspoiled logged frame, or a later one.
    while (next < logged.size() && logged[next] != frame.Bytes) ++next;
    ASSERT_LT(next, logged.size()) << "invented: " << HexText(frame.Bytes);
    ++next;
    ++matched;
  }
  size_t wholeLogged = 0;
  for (const auto& bytes : logged) wholeLogged += EndsWithItsCrc(static_cast<int32_t>(bytes.size()), bytes.data());
  // Every unspoiled frame with a good CRC is found.
  EXPECT_EQ(matched, wholeLogged);
}

// Two readings whose CRCs both hold: a database read without module (4
// bytes) and, one byte on, with one (5 bytes). The reading followed by a
// silence wins.
TEST(FrameSplitter, OfTwoReadingsTheOneFollowedByASilenceWins) {
  std::vector<uint8_t> shortFrame, longFrame;
  for (int address = 1; address < 248 && longFrame.empty(); ++address) {
    const std::vector<uint8_t> four = Framed({static_cast<uint8_t>(address), 68});
    for (int module = 0; module < 256; ++module) {
      std::vector<uint8_t> five = four;
      five.push_back(static_cast<uint8_t>(module));
      if (EndsWithItsCrc(5, five.data())) {
        shortFrame = four;
        longFrame = five;
        break;
      }
    }
  }
  ASSERT_FALSE(longFrame.empty());
  const LineFormat format{9600, false, 2};
  for (bool silenceAfterFour : {false, true}) {
    LineAnalyser analyser(format);
    int64_t now = 1000;
    const int64_t character = CharacterTime(format).count() / 1000;
    for (size_t i = 0; i < longFrame.size(); ++i) {
      if (silenceAfterFour && i == 4) now += 20'000;
      now += character;
      analyser.Feed(&longFrame[i], 1, now);
    }
    analyser.Idle(now + 1'000'000);
    std::vector<std::vector<uint8_t>> frames;
    for (const MonitorFrame& frame : analyser.Frames().Frames()) frames.push_back(frame.Bytes);
    if (silenceAfterFour) {
      ASSERT_EQ(frames.size(), 2u);
      EXPECT_EQ(frames[0], shortFrame);
      EXPECT_EQ(analyser.Frames().Frames()[1].Direction, FrameDirection::Unframed);
    } else {
      ASSERT_EQ(frames.size(), 1u);
      EXPECT_EQ(frames[0], longFrame);
    }
  }
}

// Many lines, each cut as adapters cut it: a chunk per frame, request and
// answer glued, and random chunks (cut wherever the line was quiet for an
// adapter's 1 ms latency timer). Among them: 68 with a module whose CRC
// ends in 00 (its first four bytes hold a CRC too), answers from wrong
// addresses that echo the write asked, reads whose byte count is not the
// quantity's, garbage whose CRC holds, answers with a wrong function that
// take the shape of 65 requests.
TEST(FrameSplitter, ManyLinesCutAsAdaptersCutThem) {
  for (uint32_t seed = 10; seed < 60; ++seed) {
    const LineScenario line = MakeScenario(Faulty(200, seed));
    const std::string what = "line " + std::to_string(seed);
    ExpectAsLogged(line, Listen(line, CutAt(line, line.FrameAt)), what + ", a chunk per frame");
    ExpectAsLogged(line, Listen(line, CutByExchange(line)), what + ", one chunk per exchange");
    for (size_t mean : {1, 5, 64})
      ExpectAsLogged(line, Listen(line, CutRandomly(line, mean, seed)), what + ", chunks of about " + std::to_string(mean));
  }
}
