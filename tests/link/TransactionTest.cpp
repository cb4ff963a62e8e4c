// The transaction engine against a scripted device on a pseudo-terminal:
// refusals, delays, repeats, result codes, answer lengths and buffer bounds.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "Crc16.h"
#include "LinkRig.h"
#include "ScriptedDevice.h"
#include "SerialDevice.h"

using namespace std::chrono;
using namespace std::chrono_literals;
using Reply = ScriptedDevice::Reply;

namespace {
const std::vector<uint8_t> kRead10 = Bytes({0x00, 0x00, 0x00, 0x0A});
const std::vector<uint8_t> kRead10Frame = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD});

std::vector<uint8_t> Framed(std::initializer_list<int> bytes) {
  return ScriptedDevice::WithCrc(Bytes(bytes));
}
std::vector<uint8_t> BadCrc(std::initializer_list<int> bytes) {
  return ScriptedDevice::WithBadCrc(Bytes(bytes));
}
const Reply kSilence{};
const Reply kGoodRead{Framed({0x01, 0x03, 0x02, 0x12, 0x34}), {}};
const Reply kBadCrcRead{BadCrc({0x01, 0x03, 0x02, 0x12, 0x34}), {}};

double MsBetween(steady_clock::time_point a, steady_clock::time_point b) {
  return duration<double, std::milli>(b - a).count();
}

// Transact with code 3 and the 10-register read data.
int32_t ReadTen(LinkRig& rig, uint8_t* answer, int32_t size) {
  return rig.link.Transact(0, 3, 4, kRead10.data(), answer, size);
}
// Transact with code 3 reading one register, as kGoodRead answers it.
int32_t ReadOne(LinkRig& rig, uint8_t* answer, int32_t size) {
  const uint8_t one[4] = {0x00, 0x00, 0x00, 0x01};
  return rig.link.Transact(0, 3, 4, one, answer, size);
}
}  // namespace

TEST(TransactRefusal, ForeignCodesAndBadLengthsSendNothing) {
  {
    TComPort closed;
    RecordingOperator form;
    TComPortClass link(closed, form);
    uint8_t answer[300] = {};
    // 300 as typed has the low byte 44.
    for (int code : {65, 16, 0, 300 & 0xFF})
      EXPECT_EQ(link.Transact(0, static_cast<uint8_t>(code), 4, kRead10.data(), answer, 300), 1)
          << code;
    EXPECT_EQ(link.Transact(0, 3, 4, kRead10.data(), answer, 300), 256);
    EXPECT_TRUE(form.Boxes.empty());
  }
  LinkRig rig;
  uint8_t answer[300] = {};
  EXPECT_EQ(rig.link.Transact(0, 3, -1, kRead10.data(), answer, 300), 1);
  EXPECT_EQ(rig.link.Transact(0, 69, 3001, kRead10.data(), answer, 300), 1);
  EXPECT_EQ(rig.link.Transact(0, 3, 4, nullptr, answer, 300), 1);
  EXPECT_EQ(rig.link.FrameLen, 0);  // refused before anything was built
  EXPECT_EQ(rig.pty.Receive(1, 50ms).size(), 0u);

  // The longest request still fits the frame buffer.
  std::vector<uint8_t> data(3000, 0x5A);
  EXPECT_EQ(rig.link.Transact(0, 69, 3000, data.data(), answer, 300), 0);
  const auto frame = rig.pty.Receive(3004, 2s);
  ASSERT_EQ(frame.size(), 3004u);
  const uint16_t crc = Crc16(3002, frame.data());
  EXPECT_EQ(frame[3002], crc & 0xFF);
  EXPECT_EQ(frame[3003], crc >> 8);
}

TEST(TransactNoAnswerCodes, SixtyNineAndSeventyReturnRightAfterTheWrite) {
  LinkRig rig;  // nothing answers on the line
  rig.link.Clock = [] { return LocalDateTime{2026, 12, 7, 12, 15, 30, 0}; };
  uint8_t answer[300] = {};
  const uint8_t db[2] = {0x01, 0x02};
  auto start = steady_clock::now();
  EXPECT_EQ(rig.link.Transact(0, 69, 2, db, answer, 300), 0);
  EXPECT_LT(MsBetween(start, steady_clock::now()), 150);
  EXPECT_EQ(Hex(rig.pty.Receive(6, 1s)), Hex(ScriptedDevice::WithCrc(Bytes({1, 69, 1, 2}))));

  const uint8_t zeros[7] = {};
  start = steady_clock::now();
  EXPECT_EQ(rig.link.Transact(4, 70, 7, zeros, answer, 300), 0);
  EXPECT_LT(MsBetween(start, steady_clock::now()), 150);
  // Broadcast address and the local time, whatever device is chosen.
  EXPECT_EQ(Hex(rig.pty.Receive(11, 1s)), "00 46 1E 0F 0C 07 0C 00 00 A1 62");
  EXPECT_TRUE(rig.form.Boxes.empty());
}

TEST(TransactDelays, TxDelayComesBeforeAndRxDelayAfterTheWrite) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetTxDelay(1000);  // 100 ms
  rig.link.SetRxDelay(1500);  // 150 ms
  const uint8_t db[1] = {0};
  const auto start = steady_clock::now();
  EXPECT_EQ(rig.link.Transact(0, 69, 1, db, nullptr, 0), 0);
  const auto end = steady_clock::now();
  ASSERT_TRUE(device.WaitForRequests(1, 1s));
  const auto arrived = device.Requests()[0].Arrived;
  EXPECT_GE(MsBetween(start, arrived), 99);
  EXPECT_GE(MsBetween(arrived, end), 120);  // less the device's own latency
  EXPECT_GE(MsBetween(start, end), 250);
}

TEST(TransactFailures, NoDeviceGivesFiveAttemptsAndNoAnswer) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  std::array<uint8_t, 300> answer;
  answer.fill(0xEE);
  EXPECT_EQ(ReadTen(rig, answer.data(), 300), 130);
  const auto requests = device.Requests();
  ASSERT_EQ(requests.size(), 5u);
  for (size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(Hex(requests[i].Frame), Hex(kRead10Frame));  // the same frame every time
    // The silent head read (180 ms) and the 300 ms pause.
    EXPECT_NEAR(MsBetween(requests[i - 1].Arrived, requests[i].Arrived), 480, 150);
  }
  EXPECT_EQ(answer[0], 0xEE);  // nothing came, nothing stored
  rig.link.ReportResult(0, 130);
  ASSERT_EQ(rig.form.Boxes.size(), 1u);
  EXPECT_EQ(rig.form.Boxes[0].Text, "устройство 1 COM1 не отвечает на запрос");
}

TEST(TransactFailures, TwoByteAnswersGiveFiveAttemptsAndIncomplete) {
  LinkRig rig(LinkRig::Timeouts::MainWindow);
  ScriptedDevice device(rig.pty);
  device.SetResponder([](const auto&) { return Reply{Bytes({0x01, 0x03}), {}}; });
  std::array<uint8_t, 300> answer;
  answer.fill(0xEE);
  const auto start = steady_clock::now();
  EXPECT_EQ(ReadTen(rig, answer.data(), 300), 129);
  EXPECT_EQ(device.Requests().size(), 5u);
  // Each head read ends one interval (100 ms) after the second byte.
  EXPECT_NEAR(MsBetween(start, steady_clock::now()), 5 * 400, 500);
  EXPECT_EQ(Hex({answer[0], answer[1], answer[2]}), "01 03 EE");
}

TEST(TransactFailures, BadCrcEndsOnTheTenthAndHeadFailuresDoNotCount) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  for (int i = 0; i < 4; ++i) device.Push(kBadCrcRead);
  for (int i = 0; i < 2; ++i) device.Push(kSilence);
  device.SetResponder([](const auto&) { return kBadCrcRead; });
  uint8_t answer[300] = {};
  EXPECT_EQ(ReadOne(rig, answer, 300), 131);
  EXPECT_EQ(device.Requests().size(), 12u);
  EXPECT_EQ(rig.link.AnswerLen, 7);
}

TEST(TransactFailures, StageOneCountsOnlyConsecutiveHeadFailures) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetRepeats1(2);
  rig.link.SetRepeats2(3);
  uint8_t answer[300] = {};
  // The good head in between gives stage 1 its two attempts again.
  for (const Reply& r : {kSilence, kBadCrcRead, kSilence, Reply{Bytes({1, 3}), {}}}) device.Push(r);
  EXPECT_EQ(ReadOne(rig, answer, 300), 129);
  EXPECT_EQ(device.Requests().size(), 4u);

  // Stage 2 is never reset: three bad answers end it whatever lies between.
  for (const Reply& r : {kBadCrcRead, kSilence, kBadCrcRead, kSilence, kBadCrcRead}) device.Push(r);
  EXPECT_EQ(ReadOne(rig, answer, 300), 131);
  EXPECT_EQ(device.Requests().size(), 9u);
}

TEST(TransactFailures, ForeignFunctionCodeIsAReceptionErrorNotSuccess) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetRepeats1(2);
  const Reply foreign{Framed({0x01, 0x04, 0x02, 0x12, 0x34}), {}};
  uint8_t answer[300] = {};
  device.Push(foreign);
  device.Push(foreign);
  EXPECT_EQ(ReadOne(rig, answer, 300), 128);
  EXPECT_EQ(device.Requests().size(), 2u);

  // What follows a foreign head is discarded: its bytes (here 03 00 at the
  // start of the rest) are never read as the next attempt's head.
  rig.link.SetRepeats1(3);
  const Reply misleading{Framed({0x01, 0x04, 0x04, 0xAA, 0x03, 0x00, 0xBB}), {}};
  for (int i = 0; i < 3; ++i) device.Push(misleading);
  EXPECT_EQ(ReadOne(rig, answer, 300), 128);
  EXPECT_EQ(device.Requests().size(), 5u);
  rig.link.SetRepeats1(2);

  const Reply foreignHead{Bytes({0x01, 0x04, 0x02}), {}};
  // It counts as a head failure: the last attempt decides the result.
  device.Push(foreignHead);
  device.Push(kSilence);
  EXPECT_EQ(ReadOne(rig, answer, 300), 130);
  device.Push(kSilence);
  device.Push(foreignHead);
  EXPECT_EQ(ReadOne(rig, answer, 300), 128);
  device.Push(foreignHead);
  device.Push(kGoodRead);
  EXPECT_EQ(ReadOne(rig, answer, 300), 0);
}

// An answer whose byte count is not the one the quantity asks for (a late
// answer to an earlier, longer read) is a bad answer, never data.
TEST(TransactFailures, AnAnswerOfAnotherQuantityIsNoAnswer) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetRepeats1(2);
  std::vector<int> twenty = {0x01, 0x03, 0x14};
  for (int i = 0; i < 20; ++i) twenty.push_back(i);
  const Reply tenRegisters{ScriptedDevice::WithCrc(std::vector<uint8_t>(twenty.begin(), twenty.end())), {}};
  uint8_t answer[300] = {};
  device.Push(tenRegisters);
  device.Push(kGoodRead);
  EXPECT_EQ(ReadOne(rig, answer, 300), 0) << "the second attempt brings the right answer";
  EXPECT_EQ(device.Requests().size(), 2u);
  EXPECT_EQ(Hex({answer, answer + 7}), Hex(kGoodRead.Data));

  device.Push(tenRegisters);
  device.Push(tenRegisters);
  EXPECT_EQ(ReadOne(rig, answer, 300), 128);
  EXPECT_EQ(device.Requests().size(), 4u);
  device.Push(tenRegisters);
  EXPECT_EQ(ReadTen(rig, answer, 300), 0) << "the same answer is right for ten registers";

  // Bits: 10 coils are two bytes; one byte is wrong, and so are three.
  const uint8_t tenCoils[4] = {0x00, 0x00, 0x00, 0x0A};
  device.Push(Framed({0x01, 0x01, 0x01, 0xFF}));
  device.Push(Framed({0x01, 0x01, 0x03, 0xFF, 0x03, 0x00}));
  EXPECT_EQ(rig.link.Transact(0, 1, 4, tenCoils, answer, 300), 128);
  device.Push(Framed({0x01, 0x01, 0x02, 0xFF, 0x03}));
  EXPECT_EQ(rig.link.Transact(0, 1, 4, tenCoils, answer, 300), 0);
}

TEST(TransactFailures, RepeatCountsBelowOneActAsOne) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetRepeats1(0);
  rig.link.SetRepeats2(-3);
  uint8_t answer[300] = {};
  EXPECT_EQ(ReadOne(rig, answer, 300), 130);
  EXPECT_EQ(device.Requests().size(), 1u);
  device.Push(kBadCrcRead);
  EXPECT_EQ(ReadOne(rig, answer, 300), 131);
  EXPECT_EQ(device.Requests().size(), 2u);
}

TEST(TransactExceptions, ExceptionReturnsAtOnceAndTheNextTransactionPurgesItsCrc) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  device.Push(Bytes({0x01, 0x83, 0x02, 0xC0, 0xF1}));
  device.Push(kGoodRead);
  std::array<uint8_t, 300> answer;
  answer.fill(0xEE);
  const auto start = steady_clock::now();
  EXPECT_EQ(ReadOne(rig, answer.data(), 300), 2);
  EXPECT_LT(MsBetween(start, steady_clock::now()), 250);  // no pause, no repeat
  EXPECT_EQ(device.Requests().size(), 1u);
  EXPECT_EQ(rig.link.AnswerLen, 5);
  EXPECT_EQ(Hex({answer[0], answer[1], answer[2], answer[3]}), "01 83 02 EE");
  rig.link.ReportResult(0, 2);
  EXPECT_EQ(rig.form.Boxes.at(0).Text, "устройство 1 COM1 ошибка обмена 02");

  // C0 F1 still waits in the port; without the purge it would start the next head.
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(rig.port.InputCount(), 2);
  EXPECT_EQ(ReadOne(rig, answer.data(), 300), 0);
  EXPECT_EQ(device.Requests().size(), 2u);
  EXPECT_EQ(Hex({answer.begin(), answer.begin() + 7}), Hex(kGoodRead.Data));

  // Exception code 0 is read and checked as a normal answer of 0 + 5 bytes.
  device.Push(Framed({0x01, 0x83, 0x00}));
  EXPECT_EQ(ReadOne(rig, answer.data(), 300), 0);
  EXPECT_EQ(rig.link.AnswerLen, 5);
}

TEST(TransactAnswers, LengthsFollowTheRequestCode) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  uint8_t answer[300] = {};
  // Code 5: the echo of the request.
  device.SetResponder([](const auto& request) { return Reply{request, {}}; });
  const uint8_t coil[4] = {0x00, 0x01, 0xFF, 0x00};
  EXPECT_EQ(rig.link.Transact(0, 5, 4, coil, answer, 300), 0);
  EXPECT_EQ(rig.link.AnswerLen, 8);
  // Code 14 without data: four bytes.
  EXPECT_EQ(rig.link.Transact(0, 14, 0, nullptr, answer, 300), 0);
  EXPECT_EQ(rig.link.AnswerLen, 4);
  EXPECT_EQ(Hex(device.Requests().back().Frame), "01 0E 81 E4");

  device.SetResponder({});
  // Code 15: eight bytes whatever byte 2 says.
  const uint8_t coils[7] = {0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01};
  for (int third : {0x00, 0xFF}) {
    device.Push(Framed({0x01, 0x0F, third, 0x13, 0x00, 0x0A}));
    EXPECT_EQ(rig.link.Transact(0, 15, 7, coils, answer, 300), 0) << third;
    EXPECT_EQ(rig.link.AnswerLen, 8);
    EXPECT_EQ(rig.link.ByteCount, third);
  }
  // Code 6: byte count + 5, like a byte-count answer, not the request's length.
  const uint8_t reg[4] = {0x00, 0x01, 0x00, 0x03};
  device.Push(Framed({0x01, 0x06, 0x02, 0xAB, 0xCD}));
  EXPECT_EQ(rig.link.Transact(0, 6, 4, reg, answer, 300), 0);
  EXPECT_EQ(rig.link.AnswerLen, 7);
  // An answer from another address is taken when code, length and CRC are right.
  device.Push(Framed({0x07, 0x03, 0x02, 0x12, 0x34}));
  EXPECT_EQ(ReadOne(rig, answer, 300), 0);
  EXPECT_EQ(answer[0], 0x07);
  EXPECT_EQ(device.Requests().size(), 6u);
}

TEST(TransactAnswerBuffer, NeverWritesPastTheCallersBuffer) {
  LinkRig rig;
  ScriptedDevice device(rig.pty);
  rig.link.SetRepeats2(1);
  std::vector<int> counted = {0x01, 0x03, 20};
  for (int i = 0; i < 20; ++i) counted.push_back(i);
  std::vector<uint8_t> longAnswer(counted.begin(), counted.end());
  longAnswer = ScriptedDevice::WithCrc(longAnswer);  // 25 bytes
  device.SetResponder([&](const auto&) { return Reply{longAnswer, {}}; });

  std::array<uint8_t, 64> answer;
  answer.fill(0xEE);
  EXPECT_EQ(ReadTen(rig, answer.data(), 10), 128);
  EXPECT_EQ(Hex({answer.begin(), answer.begin() + 10}),
            Hex({longAnswer.begin(), longAnswer.begin() + 10}));
  for (size_t i = 10; i < answer.size(); ++i) ASSERT_EQ(answer[i], 0xEE) << i;
  // The long answer was taken off the line, so the next exchange starts clean.
  EXPECT_EQ(rig.port.InputCount(), 0);

  answer.fill(0xEE);
  EXPECT_EQ(ReadTen(rig, answer.data(), 2), 128);  // smaller than the head
  EXPECT_EQ(Hex({answer[0], answer[1], answer[2]}), "01 03 EE");

  EXPECT_EQ(ReadTen(rig, answer.data(), 25), 0);  // exactly big enough
  EXPECT_EQ(Hex({answer.begin(), answer.begin() + 25}), Hex(longAnswer));
  EXPECT_EQ(answer[25], 0xEE);

  device.SetResponder([](const auto&) { return Reply{Bytes({0x01, 0x83, 0x04, 0x40, 0xF3}), {}}; });
  answer.fill(0xEE);
  EXPECT_EQ(ReadTen(rig, answer.data(), 1), 4);  // the exception code still comes back
  EXPECT_EQ(Hex({answer[0], answer[1]}), "01 EE");
}

TEST(TransactPortFailures, PurgeFailureStopsPollingShowsTheBoxClosesTheWindowAndGoesOn) {
  TComPort port;
  RecordingOperator form;
  TComPortClass link(port, form);
  // Connected says true while no device is open: the purge fails, then the write.
  port.BeginLoading();
  port.SetConnected(true);
  uint8_t answer[300] = {};
  try {
    link.Transact(0, 3, 4, kRead10.data(), answer, 300);
    FAIL() << "the failing write must leave Transact";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, CError_PortNotOpen);
  }
  EXPECT_EQ(form.Calls, (std::vector<std::string>{"DisablePollTimer", "ShowMessage",
                                                  "CloseMainWindow"}));
  ASSERT_EQ(form.Boxes.size(), 1u);
  EXPECT_EQ(form.Boxes[0].Text, "COM-порт отключен. Проверьте оборудование, перезапустите программу.");
  EXPECT_EQ(form.Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(form.Boxes[0].Icon, MsgIcon::Error);
  EXPECT_EQ(form.Boxes[0].Buttons, MsgButtons::Ok);
}

TEST(TransactPortFailures, PurgeFailureAfterAForeignAnswerIsTheLostPortToo) {
  LinkRig rig;
  // No event thread: the device is closed under it below.
  rig.port.Close();
  rig.port.SetEvents(TComEvents());
  rig.port.Open();
  ScriptedDevice device(rig.pty);
  device.Push(Reply{Framed({0x01, 0x04, 0x02, 0x12, 0x34}), {}});
  // The adapter goes away in the pause after the foreign answer, so the purge
  // that discards the rest of that answer fails.
  int second = 0;
  rig.link.Clock = [&] {
    rig.port.Device().Close();
    LocalDateTime t;
    t.Hour = 12;
    t.Second = second++;
    return t;
  };
  uint8_t answer[300] = {};
  try {
    ReadTen(rig, answer, 300);
    ADD_FAILURE() << "the failing write of the next attempt must leave Transact";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, CError_PortNotOpen);
  }
  EXPECT_EQ(rig.form.Calls, (std::vector<std::string>{"DisablePollTimer", "ShowMessage", "CloseMainWindow"}));
  ASSERT_EQ(rig.form.Boxes.size(), 1u);
  EXPECT_EQ(rig.form.Boxes[0].Text, kPortLostText);
}

TEST(TransactPortFailures, ReadErrorLeavesTransact) {
  LinkRig rig(LinkRig::Timeouts::MainWindow);
  std::thread device([&] {
    rig.pty.Receive(kRead10Frame.size(), 2s);
    rig.pty.CloseMaster();  // the line hangs up while the head is awaited
  });
  uint8_t answer[300] = {};
  try {
    ReadTen(rig, answer, 300);
    ADD_FAILURE() << "the failing read must leave Transact";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, CError_ReadFailed);
  }
  device.join();
  EXPECT_TRUE(rig.form.Boxes.empty());
}
