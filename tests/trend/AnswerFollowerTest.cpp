// The trend's follower on a link to the simulated device: each transaction
// handed on with its request, result, answer data and arrival time, beside
// the traffic monitor's recorder on the same link.
#include <gtest/gtest.h>

#include <chrono>

#include "AnswerFollower.h"
#include "SimLinkRig.h"
#include "TrafficRecorder.h"

namespace {
int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Notes whether the follower saw a transaction under way while the link ran one.
class BusyProbe : public TransactionObserver {
public:
  explicit BusyProbe(const AnswerFollower& follower) : follower_(follower) {}
  void TransactionStarted(const uint8_t*, int32_t) override {}
  void AttemptStarted(int, int, int) override { seenBusy = seenBusy || follower_.InTransaction(); }
  void RestStarted() override {}
  void AttemptFailed(int32_t) override {}
  void TransactionEnded(int32_t) override {}
  bool seenBusy = false;

private:
  const AnswerFollower& follower_;
};
}  // namespace

TEST(AnswerFollower, EveryTransactionWithItsAnswerDataAndArrival) {
  SimLinkRig rig;
  std::vector<PollRecord> polls;
  AnswerFollower follower([&](const PollRecord& poll) { polls.push_back(poll); });
  TrafficRecorder recorder;
  recorder.Attach(rig.link);
  follower.Attach(rig.link);
  BusyProbe probe(follower);
  rig.link.AddObserver(&probe);

  const uint8_t read[] = {0x00, 0x01, 0x00, 0x02};
  uint8_t answer[300] = {};
  const int64_t before = NowUs();
  ASSERT_EQ(rig.link.Transact(0, 3, 4, read, answer, sizeof answer), 0);
  const int64_t after = NowUs();
  ASSERT_EQ(polls.size(), 1u);
  EXPECT_EQ(polls[0].Device, 1);
  EXPECT_EQ(polls[0].Code, 3);
  EXPECT_EQ(polls[0].RequestData, (std::vector<uint8_t>(read, read + 4)));
  EXPECT_EQ(polls[0].Result, 0);
  EXPECT_EQ(polls[0].Data, (std::vector<uint8_t>{0x03, 0xE9, 0x03, 0xEA})) << "registers 1 and 2: 1001, 1002";
  EXPECT_GE(polls[0].Us, before);
  EXPECT_LE(polls[0].Us, after);
  EXPECT_GT(polls[0].SystemUs, 1'600'000'000'000'000);
  EXPECT_TRUE(probe.seenBusy);
  EXPECT_FALSE(follower.InTransaction());
  EXPECT_GT(recorder.Frames().Size(), 0u) << "the monitor's recorder follows the same link";

  // Device 5 is not served: a failed poll, without data, stamped when it ended.
  rig.link.SetRepeats1(1);
  const int64_t failStart = NowUs();
  EXPECT_EQ(rig.link.Transact(4, 3, 4, read, answer, sizeof answer), 130);
  ASSERT_EQ(polls.size(), 2u);
  EXPECT_EQ(polls[1].Device, 5);
  EXPECT_EQ(polls[1].Result, 130);
  EXPECT_TRUE(polls[1].Data.empty());
  EXPECT_GT(polls[1].Us, failStart + 100'000) << "after the head's time-out";

  follower.Detach();
  rig.link.RemoveObserver(&probe);
  EXPECT_EQ(rig.link.Transact(0, 3, 4, read, answer, sizeof answer), 0);
  EXPECT_EQ(polls.size(), 2u) << "detached: nothing more";
}
