// The monitor's recorder on the link against the simulated device: frames,
// attempts, stages, results and times, checked against the device's own log.
#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>
#include <thread>

#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "RecordingOperator.h"
#include "ReplyScript.h"
#include "SimLinkRig.h"
#include "SimTestSupport.h"
#include "TrafficRecorder.h"

namespace {
SimOptions Scripted(const std::string& script) {
  SimOptions options;
  std::istringstream in(script);
  options.script = *ParseScript(in);
  return options;
}

// The link on a simulated device, with a recorder attached.
struct Rig : SimLinkRig {
  explicit Rig(const SimOptions& options = {}) : SimLinkRig(options) { recorder.Attach(link); }
  int32_t Read(uint8_t device, int registers) {
    const std::vector<uint8_t> data{0, 0, 0, static_cast<uint8_t>(registers)};
    std::vector<uint8_t> answer(300);
    return link.Transact(device - 1, 3, 4, data.data(), answer.data(), 300);
  }
  std::vector<MonitorFrame> Frames() const {
    return {recorder.Frames().Frames().begin(), recorder.Frames().Frames().end()};
  }
  // The device's log: "RX 01 03 ..." and "TX ..." lines, the hex only.
  std::vector<std::string> DeviceFrames() const {
    std::vector<std::string> frames;
    for (const LoggedFrame& frame : LoggedFrames(sim.Log()))
      frames.push_back((frame.Received ? "RX " : "TX ") + frame.Hex);
    return frames;
  }

  TrafficRecorder recorder;
};

// As the device logs it: what we send it receives.
std::string AsLog(const MonitorFrame& frame) {
  return (frame.Direction == FrameDirection::Tx ? "RX " : "TX ") + Hex(frame.Bytes);
}
}  // namespace

TEST(TrafficRecorder, ANoAnswerTransactionShowsFiveRequestsAndNoAnswer) {
  Rig rig;
  ASSERT_EQ(rig.Read(4, 1), 130);  // device 4 is not served
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), 5u);
  for (size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(frames[i].Direction, FrameDirection::Tx);
    EXPECT_EQ(Hex(frames[i].Bytes), "04 03 00 00 00 01 84 5F");
    EXPECT_EQ(frames[i].Attempt, int(i + 1));
    EXPECT_EQ(frames[i].Stage1Try, int(i + 1));
    EXPECT_EQ(frames[i].Stage2Try, 1);
    EXPECT_EQ(frames[i].AttemptResult, 130);
    EXPECT_TRUE(frames[i].Complete);
    EXPECT_EQ(frames[i].Transaction, frames[0].Transaction);
  }
  EXPECT_EQ(frames.back().TransactionResult, 130);
  EXPECT_EQ(rig.recorder.CompleteBefore(), frames.back().Seq + 1);
  const DeviceStatistics& device = rig.recorder.Statistics().Devices().at(4);
  EXPECT_EQ(device.Requests, 1);
  EXPECT_EQ(device.Good, 0);
  EXPECT_EQ(device.Repeats(), 4);
  EXPECT_EQ(device.Results.at(130), 1);
  EXPECT_EQ(device.FailedAttempts, (std::map<int32_t, int>{{130, 5}})) << "every attempt, not only the transaction";
  EXPECT_EQ(device.LatencyUs.Count(), 0u);
}

TEST(TrafficRecorder, AttemptsStagesAndResultsMatchTheDevicesLogByteForByte) {
  // partial:3 brings a good head and nothing more: a stage-2 failure whose
  // answer frame holds only bytes read in stage 1.
  Rig rig(Scripted("partial:2\nbadcrc\npartial:4\npartial:3\nok\n"));
  ASSERT_EQ(rig.Read(1, 2), 0);
  const auto frames = rig.Frames();
  // Five attempts, each a request and an answer, as the device logged them.
  ASSERT_EQ(frames.size(), 10u);
  // The device logs what it sent once its write returned, which may be
  // after our read took the bytes.
  auto device = rig.DeviceFrames();
  for (int i = 0; i < 100 && device.size() < 10u; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    device = rig.DeviceFrames();
  }
  ASSERT_EQ(device.size(), 10u);
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(AsLog(frames[i]), device[i]) << i;

  struct Expected {
    int attempt, stage, stage1Try, stage2Try;
    int32_t result;
  };
  const Expected answers[] = {
      {1, 1, 1, 1, 129}, {2, 2, 2, 1, 131}, {3, 2, 1, 2, 129}, {4, 2, 1, 3, 130}, {5, 2, 1, 4, 0}};
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const MonitorFrame& request = frames[2 * k];
    const MonitorFrame& answer = frames[2 * k + 1];
    EXPECT_EQ(request.Attempt, answers[k].attempt);
    EXPECT_EQ(answer.Attempt, answers[k].attempt);
    EXPECT_EQ(answer.Stage, answers[k].stage);
    EXPECT_EQ(answer.Stage1Try, answers[k].stage1Try);
    EXPECT_EQ(answer.Stage2Try, answers[k].stage2Try);
    EXPECT_EQ(answer.AttemptResult, answers[k].result);
    EXPECT_FALSE(request.AttemptResult) << "the answer carries the attempt's result";
    ASSERT_TRUE(answer.LatencyUs);
    EXPECT_GE(*answer.LatencyUs, 0);
  }
  EXPECT_EQ(frames.back().TransactionResult, 0);
  const DeviceStatistics& stats = rig.recorder.Statistics().Devices().at(1);
  EXPECT_EQ(stats.Requests, 1);
  EXPECT_EQ(stats.Good, 1);
  EXPECT_EQ(stats.Attempts, 5);
  // Four attempts failed before the good one, each counted by its code.
  EXPECT_EQ(stats.FailedAttempts, (std::map<int32_t, int>{{129, 2}, {130, 1}, {131, 1}}));
  // Every answer's latency counts, but for one whose arrival nobody saw.
  size_t bounds = 0;
  for (const MonitorFrame& frame : frames) bounds += frame.LatencyAtMost;
  EXPECT_EQ(stats.LatencyUs.Count(), 5u - bounds);
}

TEST(TrafficRecorder, ADelayedAnswerShowsItsLatency) {
  Rig rig(Scripted("delay:60\ndelay:60\ndelay:60\n"));
  std::vector<int64_t> latencies;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(rig.Read(1, 1), 0);
    const MonitorFrame answer = rig.Frames().back();  // a copy: Frames() is a temporary
    ASSERT_TRUE(answer.LatencyUs);
    latencies.push_back(*answer.LatencyUs);
  }
  std::sort(latencies.begin(), latencies.end());
  // The device waited 60 ms after the request; the rest is the line. A loaded
  // machine may put any one figure off by milliseconds, so the median is judged.
  EXPECT_GE(latencies[1], 60'000);
  EXPECT_LE(latencies[1], 62'000);
  EXPECT_EQ(rig.recorder.Statistics().Devices().at(1).LatencyUs.Min(), static_cast<double>(latencies[0]));
}

TEST(TrafficRecorder, TheLatencyIsTheDevicesWhateverTheWaitAfterTheWrite) {
  // The link busy-waits RxDelay units of 0.1 ms after each write. An answer
  // that comes during that wait is stamped with its arrival, not with the
  // read after the wait: 10 ms of waiting never turn a 1 ms device into a
  // 10 ms one. Stamped by the read, every latency would be at least the
  // wait; a loaded machine only makes some answers later, so the smallest of
  // six is judged where the device answers well inside the wait (how the
  // port notes arrivals is checked to the microsecond in the serial tests).
  // On a pseudo-terminal a device may even answer while the write still
  // waits for its bytes to be taken: then nobody saw when, and the latency
  // is a bound.
  struct Case {
    int deviceMs, rxDelay;
  };
  for (const Case c : {Case{1, 1}, Case{1, 20}, Case{1, 100}, Case{5, 100}}) {
    SCOPED_TRACE("device " + std::to_string(c.deviceMs) + " ms, rx delay " + std::to_string(c.rxDelay));
    std::string script;
    for (int i = 0; i < 40; ++i) script += "delay:" + std::to_string(c.deviceMs) + "\n";
    Rig rig(Scripted(script));
    rig.link.SetRxDelay(c.rxDelay);
    std::vector<int64_t> known;
    // Polls go on until six arrivals were seen (a loaded machine hides more
    // of them), forty at most.
    for (int i = 0; i < 40 && known.size() < 6; ++i) {
      ASSERT_EQ(rig.Read(1, 1), 0);
      const MonitorFrame answer = rig.Frames().back();
      ASSERT_TRUE(answer.LatencyUs);
      EXPECT_GE(*answer.LatencyUs, 0);
      // Bytes whose arrival nobody saw (during the write, or in a rare
      // preemption just before the read) give a bound, shown as such and
      // left out of the statistics.
      EXPECT_EQ(answer.LatencyAtMost, answer.Chunks.front().Waiting);
      if (!answer.LatencyAtMost) known.push_back(*answer.LatencyUs);
    }
    ASSERT_GE(known.size(), 6u);
    const int64_t smallest = *std::min_element(known.begin(), known.end());
    if (c.rxDelay == 100) {
      EXPECT_LT(smallest, 9'900) << "10 ms of waiting are not the device's";
    }
    const DeviceStatistics& stats = rig.recorder.Statistics().Devices().at(1);
    EXPECT_EQ(stats.LatencyUs.Count(), known.size());
    EXPECT_EQ(stats.LatencyUs.Min(), static_cast<double>(smallest));
  }
}

TEST(TrafficRecorder, ALateAnswerTakenByTheNextAttemptIsFlagged) {
  // The answer comes after the head read gave up (150 ms), during the pause:
  // the next attempt's read takes it as its own.
  Rig rig(Scripted("delay:250\n"));
  ASSERT_EQ(rig.Read(1, 1), 0);
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].AttemptResult, 130);
  EXPECT_EQ(frames[2].Direction, FrameDirection::Rx);
  EXPECT_EQ(frames[2].Attempt, 2);
  EXPECT_TRUE(frames[2].BeforeRequest);
  EXPECT_TRUE(frames[2].Chunks.front().Waiting);
  // A late answer tells nothing of the device's latency.
  EXPECT_EQ(rig.recorder.Statistics().Devices().at(1).LatencyUs.Count(), 0u);
  // The device answered the second request too: the purge of the next
  // transaction shows what it threw away.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(rig.Read(1, 1), 0);
  const auto after = rig.Frames();
  ASSERT_GE(after.size(), 4u);
  EXPECT_EQ(after[3].Direction, FrameDirection::Discarded);
  EXPECT_EQ(after[3].DiscardedCount, 7);
}

TEST(TrafficRecorder, GapsInsideAnAnswerAboveOneAndAHalfCharactersAreFlagged) {
  PtyPair pty;
  TComPort port;
  LoadMainPortProperties(port);
  port.SetPort(pty.SlavePath());
  pty.ReleaseSlave();
  port.Open();
  RecordingOperator form;
  TComPortClass link{port, form};
  link.SetRepeats1(1);
  link.SetRepeats2(1);
  TrafficRecorder recorder;
  recorder.Attach(link);
  // At 9600 baud with 11 bits a character takes 1.15 ms: a 15 ms pause is far above 1.5 of them.
  std::thread device([&] {
    pty.Receive(8, std::chrono::milliseconds(1000));
    pty.Send(Bytes({0x01, 0x03, 0x02}));
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    pty.Send(Bytes({0x00, 0x07, 0xF9, 0x86}));
  });
  const std::vector<uint8_t> data{0, 0, 0, 1};
  std::vector<uint8_t> answer(300);
  EXPECT_EQ(link.Transact(0, 3, 4, data.data(), answer.data(), 300), 0);
  device.join();
  const MonitorFrame& rx = recorder.Frames().Frames().back();
  ASSERT_EQ(rx.Direction, FrameDirection::Rx);
  EXPECT_EQ(Hex(rx.Bytes), "01 03 02 00 07 F9 86");
  // The head's read may be late to take its bytes, which shortens what it sees.
  EXPECT_GE(rx.LargestGapUs, 5'000);
  EXPECT_TRUE(rx.GapTooLong);
  EXPECT_EQ(rx.Stage, 2);

  // The same answer in one burst has no gap to speak of.
  std::thread burst([&] {
    pty.Receive(8, std::chrono::milliseconds(1000));
    pty.Send(Bytes({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}));
  });
  EXPECT_EQ(link.Transact(0, 3, 4, data.data(), answer.data(), 300), 0);
  burst.join();
  EXPECT_FALSE(recorder.Frames().Frames().back().GapTooLong);
  recorder.Detach();
  EXPECT_TRUE(link.Observers().empty());
}

TEST(TrafficRecorder, TheRingKeepsTheNewestFrames) {
  Rig rig;
  TrafficRecorder small(5);
  rig.recorder.Detach();
  small.Attach(rig.link);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(rig.Read(1, 1), 0);
  const FrameRing& ring = small.Frames();
  EXPECT_EQ(ring.Size(), 5u);
  EXPECT_EQ(ring.Dropped(), 3u);
  EXPECT_EQ(ring.Frames().front().Seq, 4u);
  EXPECT_EQ(ring.Frames().back().Seq, 8u);
  EXPECT_EQ(ring.Find(3), nullptr);
  EXPECT_EQ(ring.Find(8)->Direction, FrameDirection::Rx);
  // Statistics outlive the frames they came from.
  EXPECT_EQ(small.Statistics().Devices().at(1).Requests, 4);
  small.ClearFrames();
  EXPECT_EQ(ring.Size(), 0u);
  ASSERT_EQ(rig.Read(1, 1), 0);
  EXPECT_EQ(ring.Frames().front().Seq, 9u) << "running numbers go on after a clear";
}

// Two followers of one link (the monitor and, say, a trend) both see every
// frame with its attempt and result; neither replaces the other, and one
// leaving does not take the other off.
TEST(TrafficRecorder, TwoRecordersOnOneLinkBothFollowIt) {
  Rig rig;
  TrafficRecorder second;
  second.Attach(rig.link);
  second.Attach(rig.link);  // twice: still one follower
  EXPECT_EQ(rig.link.Observers().size(), 2u);
  ASSERT_EQ(rig.Read(1, 2), 0);
  ASSERT_EQ(rig.Read(4, 1), 130);
  const auto first = rig.Frames();
  const std::vector<MonitorFrame> other(second.Frames().Frames().begin(), second.Frames().Frames().end());
  ASSERT_EQ(first.size(), other.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].Bytes, other[i].Bytes) << i;
    EXPECT_EQ(first[i].Attempt, other[i].Attempt) << i;
    EXPECT_EQ(first[i].AttemptResult, other[i].AttemptResult) << i;
  }
  second.Detach();
  ASSERT_EQ(rig.Read(1, 1), 0);
  EXPECT_EQ(rig.Frames().size(), first.size() + 2) << "the first goes on alone";
  EXPECT_EQ(rig.link.Observers().size(), 1u);
}
