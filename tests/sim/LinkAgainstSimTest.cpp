// The tool's link (TComPortClass::Transact) against the real modbus-sim,
// reached by its COM name: every fault gives the link's result code, and the
// device-specific codes come back in the shapes the link accepts.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "OperatorInterface.h"
#include "LinkRig.h"
#include "SimTestSupport.h"

namespace {
class SilentOperator : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
    messages.push_back(text);
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
  std::vector<std::string> messages;
};

// The link on the simulator's COM port: one attempt per stage, no spin delays,
// short read time-outs (a silent head read ends after 150 ms + 10 ms per byte).
class LinkAgainstSim : public ::testing::Test {
protected:
  void Start(const std::vector<std::string>& args) {
    sim_ = std::make_unique<SimProcess>(args);
    ASSERT_TRUE(sim_->WaitStarted()) << sim_->Output();
    OpenWithShortTimeouts(port_, sim_->Name());
    link_.SetRepeats1(1);
    link_.SetRepeats2(1);
    link_.SetTxDelay(0);
    link_.SetRxDelay(0);
  }
  void TearDown() override {
    port_.Close();
    if (sim_) {
      EXPECT_EQ(sim_->Stop(SIGTERM), 0);
    }
    EXPECT_TRUE(form_.messages.empty());
  }
  int32_t Transact(uint8_t code, std::vector<uint8_t> data) {
    answer_.fill(0);
    return link_.Transact(0, code, static_cast<int32_t>(data.size()), data.data(), answer_.data(),
                          static_cast<int32_t>(answer_.size()));
  }

  TempRuntimeDir runtime_;
  std::unique_ptr<SimProcess> sim_;
  TComPort port_;
  SilentOperator form_;
  TComPortClass link_{port_, form_};
  std::array<uint8_t, 260> answer_{};
};
}  // namespace

TEST_F(LinkAgainstSim, EachFaultGivesItsResultCode) {
  const auto script = runtime_.Path() / "faults.txt";
  std::ofstream(script) << "silence\npartial:2\npartial:6\nbadcrc\nwrongfunc\nexception:6\nexception:2\n"
                           "wrongaddr\ndelay:40\nok\ndelay:300\n";
  Start({"--script", script.string()});
  const std::vector<uint8_t> read{0, 0, 0, 2};  // registers 0 and 1
  EXPECT_EQ(Transact(3, read), ResultNoAnswer);
  EXPECT_EQ(Transact(3, read), ResultIncomplete);  // head cut
  EXPECT_EQ(Transact(3, read), ResultIncomplete);  // rest cut
  EXPECT_EQ(Transact(3, read), ResultCrcMismatch);
  EXPECT_EQ(Transact(3, read), ResultReceiveError);
  EXPECT_EQ(Transact(3, read), 6);
  EXPECT_EQ(Transact(3, read), 2);
  EXPECT_EQ(Transact(3, read), ResultOk);  // the link does not compare the address
  EXPECT_EQ(answer_[0], 2);
  EXPECT_EQ(Transact(3, read), ResultOk);  // late, but within the head time-out
  EXPECT_EQ(Transact(3, read), ResultOk);
  EXPECT_EQ(std::vector<uint8_t>(answer_.begin(), answer_.begin() + 9),
            WithCrc({1, 3, 4, 0x03, 0xE8, 0x03, 0xE9}));
  EXPECT_EQ(Transact(3, read), ResultNoAnswer);  // later than the head time-out
  // The late answer arrives meanwhile and is purged; the next transaction gets its own.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Transact(4, {0, 0, 0, 1}), ResultOk);
  EXPECT_EQ(answer_[1], 4);
  EXPECT_EQ(answer_[3], 0xFC);
}

TEST_F(LinkAgainstSim, DeviceCodesInTheShapesTheLinkExpects) {
  Start({"--busy-polls", "2"});
  EXPECT_EQ(Transact(14, {}), ResultOk);
  EXPECT_EQ(std::vector<uint8_t>(answer_.begin(), answer_.begin() + 4), Bytes({1, 14, 0x81, 0xE4}));

  // Read module 3, write it to module 4, poll until stored, read it back.
  ASSERT_EQ(Transact(68, {3}), ResultOk);
  const int length = answer_[2];
  EXPECT_EQ(length, 56);
  EXPECT_EQ(answer_[3], 3);
  std::vector<uint8_t> database(answer_.begin() + 3, answer_.begin() + 3 + length);
  database[0] = 4;
  database[1] = 0x5A;
  EXPECT_EQ(Transact(69, database), ResultOk);
  // The tool waits 1200 ms here; some pause is needed, because the purge at the
  // start of the next transaction drops whatever of the 69 is still unread.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Transact(14, {}), 6);
  EXPECT_EQ(Transact(14, {}), 6);
  EXPECT_EQ(Transact(14, {}), ResultOk);
  ASSERT_EQ(Transact(68, {4}), ResultOk);
  EXPECT_EQ(std::vector<uint8_t>(answer_.begin() + 2, answer_.begin() + 3 + length),
            [&] { auto v = database; v.insert(v.begin(), static_cast<uint8_t>(length)); return v; }());
  ASSERT_EQ(Transact(68, {}), ResultOk);
  EXPECT_EQ(answer_[3], 4);

  EXPECT_EQ(Transact(66, {0, 7, 0, 9}), ResultOk);
  EXPECT_EQ(link_.ByteCount, 24);
  EXPECT_EQ(Transact(67, {0, 1}), ResultOk);
  EXPECT_EQ(link_.ByteCount, 128);
  EXPECT_EQ(Transact(70, std::vector<uint8_t>(7, 0)), ResultOk);
  EXPECT_EQ(Transact(71, {0, 0}), ResultOk);
  EXPECT_EQ(link_.ByteCount, 216);
  std::vector<uint8_t> block{0x01, 0x2C};
  block.resize(302, 0x11);
  EXPECT_EQ(Transact(100, block), ResultOk);
  EXPECT_EQ(std::vector<uint8_t>(answer_.begin() + 2, answer_.begin() + 5), Bytes({2, 0x01, 0x2C}));
  EXPECT_EQ(Transact(15, {0, 0, 0, 9, 2, 0xFF, 0x01}), ResultOk);
  EXPECT_EQ(Transact(1, {0, 0, 0, 16}), ResultOk);
  EXPECT_EQ(std::vector<uint8_t>(answer_.begin() + 2, answer_.begin() + 5), Bytes({2, 0xFF, 0x49}));  // coils 11 and 14 by the pattern
  EXPECT_EQ(Transact(5, {0, 0, 0, 0}), ResultOk);
  EXPECT_EQ(Transact(17, {}), ResultOk);
  EXPECT_EQ(answer_[3], 1);
  EXPECT_EQ(Transact(3, {0x04, 0, 0, 1}), 2);
}

// With the main window's repeat counts, a device that always answers with a
// foreign function code is reported as such after five attempts; the rest of
// each foreign answer does not spill into the next attempt.
TEST_F(LinkAgainstSim, AForeignCodeEveryTimeGivesReceptionErrorAfterFiveAttempts) {
  Start({"--fault", "wrongfunc", "--log"});
  link_.SetRepeats1(5);
  link_.SetRepeats2(10);
  EXPECT_EQ(Transact(3, {0, 0, 0, 10}), ResultReceiveError);
  std::this_thread::sleep_for(100ms);  // the log's last line
  const std::string log = sim_->Output();
  size_t requests = 0;
  for (size_t at = log.find(" RX "); at != std::string::npos; at = log.find(" RX ", at + 1)) ++requests;
  EXPECT_EQ(requests, 5u) << log;
}
