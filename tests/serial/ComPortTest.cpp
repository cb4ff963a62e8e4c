// The serial component over pseudo-terminal pairs: open and close, time-outs,
// purges, line settings and failure codes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>
#include <thread>

#include "ComPort.h"
#include "MainPortProperties.h"
#include "PtyPair.h"
#include "SerialDevice.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {
// The main window's port, opened on the slave side of a pty.
struct OpenPort {
  PtyPair pty;
  TComPort port;
  explicit OpenPort(bool mainTimeouts = true) {
    if (mainTimeouts) LoadMainPortProperties(port);
    port.SetPort(pty.SlavePath());
    pty.ReleaseSlave();
    port.Open();
  }
};

double MsSince(steady_clock::time_point start) {
  return duration<double, std::milli>(steady_clock::now() - start).count();
}
}  // namespace

TEST(ComPortTimeouts, SilentLineReturnsNothingAfterTheTotalTimeout) {
  OpenPort p;
  uint8_t buf[3];
  const auto start = steady_clock::now();
  EXPECT_EQ(p.port.Read(buf, 3), 0);
  EXPECT_NEAR(MsSince(start), 1300, 60);  // 1000 + 3 x 100
}

TEST(ComPortTimeouts, ShortAnswerEndsOneIntervalAfterTheLastByte) {
  OpenPort p;
  std::thread device([&] {
    std::this_thread::sleep_for(50ms);
    p.pty.Send(Bytes({0x01}));
    std::this_thread::sleep_for(40ms);
    p.pty.Send(Bytes({0x03}));
  });
  uint8_t buf[3] = {0, 0, 0xEE};
  const auto start = steady_clock::now();
  const int n = p.port.Read(buf, 3);
  const double elapsed = MsSince(start);
  device.join();
  EXPECT_EQ(n, 2);
  EXPECT_EQ(buf[0], 0x01);
  EXPECT_EQ(buf[1], 0x03);
  EXPECT_EQ(buf[2], 0xEE) << "bytes past the count are left as they were";
  // One interval after the second byte (about 190 ms); timed from the first
  // byte it would end near 150 ms.
  EXPECT_GT(elapsed, 170);
  EXPECT_LT(elapsed, 260);
}

TEST(ComPortTimeouts, QueuedBytesCompleteAtOnceAndTheRestStaysQueued) {
  OpenPort p;
  p.pty.Send(Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  std::this_thread::sleep_for(20ms);
  uint8_t buf[3];
  const auto start = steady_clock::now();
  EXPECT_EQ(p.port.Read(buf, 3), 3);
  EXPECT_LT(MsSince(start), 20);
  EXPECT_EQ(buf[2], 2);
  EXPECT_EQ(p.port.InputCount(), 7);
  uint8_t rest[7];
  EXPECT_EQ(p.port.Read(rest, 7), 7);
  EXPECT_EQ(rest[6], 9);
}

TEST(ComPortTimeouts, ConstructorDefaultsReturnWhatIsQueuedAtOnce) {
  OpenPort p(false);  // ReadInterval MAXDWORD, totals 0
  uint8_t buf[8];
  auto start = steady_clock::now();
  EXPECT_EQ(p.port.Read(buf, 8), 0);
  EXPECT_LT(MsSince(start), 20);
  p.pty.Send(Bytes({7, 8}));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(p.port.Read(buf, 8), 2);
}

TEST(ComPortTimeouts, IntervalOnlyWaitsForTheFirstByteWithoutLimit) {
  OpenPort p(false);
  p.port.Timeouts().SetReadInterval(30);
  p.port.Timeouts().SetReadTotalMultiplier(0);
  p.port.Timeouts().SetReadTotalConstant(0);
  std::thread device([&] {
    std::this_thread::sleep_for(200ms);
    p.pty.Send(Bytes({0x42}));
  });
  uint8_t buf[4];
  const auto start = steady_clock::now();
  EXPECT_EQ(p.port.Read(buf, 4), 1);
  EXPECT_NEAR(MsSince(start), 230, 50);
  device.join();
}

TEST(ComPortTimeouts, WriteReachesTheLine) {
  OpenPort p;
  const auto frame = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD});
  EXPECT_EQ(p.port.Write(frame.data(), static_cast<int>(frame.size())), 8);
  EXPECT_EQ(p.pty.Receive(8, 500ms), frame);
}

TEST(ComPortOpen, FailuresCarryTheSystemErrorAndLeaveThePortClosed) {
  TComPort port;
  port.SetPort("COM99999");
  try {
    port.Open();
    FAIL() << "a missing port opened";
  } catch (const EComPort& e) {
    EXPECT_STREQ(e.what(), "Unable to open com port (Error: 2)");
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, 2);
  }
  EXPECT_FALSE(port.Connected());

  uint8_t buf[1];
  try {
    port.Read(buf, 1);
    FAIL() << "read on a closed port";
  } catch (const EComPort& e) {
    EXPECT_STREQ(e.what(), "Port Not Open");
    EXPECT_EQ(e.FailureCode, 24);
    EXPECT_EQ(e.SystemErrorCode, -1);
  }
  EXPECT_THROW(port.Write(buf, 1), EComPort);
  EXPECT_NO_THROW(port.Close()) << "closing a closed port is harmless";
}

TEST(ComPortOpen, APortInUseCannotBeOpenedTwice) {
  OpenPort first;
  TComPort second;
  second.SetPort(first.pty.SlavePath());
  try {
    second.Open();
    FAIL() << "the port was opened twice";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_GT(e.SystemErrorCode, 0);
    EXPECT_EQ(std::string(e.what()), EComPort::Message(1, e.SystemErrorCode));
  }
  EXPECT_FALSE(second.Connected());
  first.port.Close();
  EXPECT_NO_THROW(second.Open()) << "free again once the first one closed";
}

TEST(ComPortOpen, ALineWithoutModemSignalsOpensWithEverySignalOff) {
  // A pseudo-terminal has no modem lines, like many virtual ports: opening
  // reports CTS, DSR and RLSD off instead of failing, and the event thread,
  // which watches those lines too, still reports the data that comes.
  PtyPair pty;
  TComPort port;
  LoadMainPortProperties(port);  // all ten events
  port.SetSyncMethod(smNone);
  std::vector<std::string> signals;
  port.OnCTSChange = [&](bool on) { signals.push_back(on ? "CTS on" : "CTS off"); };
  port.OnDSRChange = [&](bool on) { signals.push_back(on ? "DSR on" : "DSR off"); };
  port.OnRLSDChange = [&](bool on) { signals.push_back(on ? "RLSD on" : "RLSD off"); };
  std::atomic<int> received{0};
  port.OnRxChar = [&](int count) { received = count; };
  port.SetPort(pty.SlavePath());
  ASSERT_NO_THROW(port.Open());
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(signals, (std::vector<std::string>{"CTS off", "DSR off", "RLSD off"}));

  pty.Send(Bytes({0x01, 0x02}));
  const auto end = steady_clock::now() + 2s;
  while (received == 0 && steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(received, 2);
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST(ComPortBuffers, ClearBufferEmptiesBothQueues) {
  OpenPort p;
  p.pty.Send(Bytes({1, 2, 3, 4}));
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(p.port.InputCount(), 4);
  const auto frame = Bytes({9, 9, 9});
  p.port.Write(frame.data(), 3);
  p.port.ClearBuffer(true, true);
  EXPECT_EQ(p.port.InputCount(), 0);
  uint8_t buf[1];
  p.port.Timeouts().SetReadTotalConstant(50);
  EXPECT_EQ(p.port.Read(buf, 1), 0);
}

TEST(ComPortBuffers, APurgeNeverTakesBackAFrameReportedAsSent) {
  // Frames that get no answer (a broadcast) are followed at once by the
  // next transaction's purge; each must still reach the other side whole.
  OpenPort p;
  constexpr int kFrames = 300;
  const auto frame = Bytes({0x00, 0x46, 1, 2, 3, 4, 5, 0, 0, 0xAA, 0x55});
  size_t received = 0;
  std::thread device([&] {
    const auto end = steady_clock::now() + 10s;
    while (received < kFrames * frame.size() && steady_clock::now() < end)
      received += p.pty.Receive(frame.size(), 100ms).size();
  });
  for (int i = 0; i < kFrames; ++i) {
    p.port.ClearBuffer(true, true);
    ASSERT_EQ(p.port.Write(frame.data(), static_cast<int>(frame.size())), int(frame.size()));
  }
  device.join();
  EXPECT_EQ(received, kFrames * frame.size());
}

TEST(ComPortBuffers, ALostLineIsAReadFailureNotAHang) {
  OpenPort p;
  p.pty.CloseMaster();
  uint8_t buf[3];
  const auto start = steady_clock::now();
  try {
    p.port.Read(buf, 3);
    FAIL() << "read on a hung-up line succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 3);
  }
  EXPECT_LT(MsSince(start), 200);
}

namespace {
// A linked component that keeps the chunks it is told of.
struct ChunkLog : TComLink {
  struct Chunk {
    std::vector<uint8_t> bytes;
    TimePoint arrived;
    bool waiting;
  };
  std::vector<Chunk> chunks;

  void TxBuf(const uint8_t*, int, TimePoint, int) override {}
  void RxBuf(const uint8_t* data, int count, TimePoint arrived, bool waiting) override {
    chunks.push_back({{data, data + count}, arrived, waiting});
  }
  void RxEnded(int, int, TimePoint) override {}
  void Purged(int) override {}

  std::vector<uint8_t> AllBytes() const {
    std::vector<uint8_t> all;
    for (const auto& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
  }
};

bool AwaitQueued(TComPort& port, int count) {
  const auto end = steady_clock::now() + 1s;
  while (port.InputCount() < count) {
    if (steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}
}  // namespace

TEST(ComPortLinks, ALinkIsToldOfEachChunkReadWithItsTimeAndWhetherItWasQueued) {
  OpenPort p;
  ChunkLog link;
  p.port.RegisterLink(&link);
  uint8_t buf[3];

  // Queued before the read began: they came earlier than the read says.
  p.pty.Send(Bytes({1, 2, 3}));
  ASSERT_TRUE(AwaitQueued(p.port, 3));
  const auto before = steady_clock::now();
  ASSERT_EQ(p.port.Read(buf, 3), 3);
  const auto after = steady_clock::now();
  ASSERT_EQ(link.chunks.size(), 1u);
  EXPECT_EQ(Hex(link.chunks[0].bytes), "01 02 03");
  EXPECT_TRUE(link.chunks[0].waiting);
  EXPECT_GE(link.chunks[0].arrived, before);
  EXPECT_LE(link.chunks[0].arrived, after);

  // Arriving while the read waits: stamped when taken, after they were sent.
  link.chunks.clear();
  steady_clock::time_point sent;
  std::thread device([&] {
    std::this_thread::sleep_for(50ms);
    sent = steady_clock::now();
    p.pty.Send(Bytes({4, 5}));
  });
  EXPECT_EQ(p.port.Read(buf, 2), 2);
  device.join();
  EXPECT_EQ(Hex(link.AllBytes()), "04 05");
  for (const auto& chunk : link.chunks) {
    EXPECT_FALSE(chunk.waiting);
    EXPECT_GE(chunk.arrived, sent);
  }

  // Unregistered, it is told nothing more.
  p.port.UnRegisterLink(&link);
  link.chunks.clear();
  p.pty.Send(Bytes({6}));
  EXPECT_EQ(p.port.Read(buf, 1), 1);
  EXPECT_TRUE(link.chunks.empty());
}

TEST(ComPortLinks, BytesSeenComingDuringAWatchedWaitKeepTheirArrivalTime) {
  OpenPort p;
  ChunkLog link;
  p.port.RegisterLink(&link);
  uint8_t buf[8];

  // Two bytes were queued before the watch began: when they came is unknown.
  p.pty.Send(Bytes({1, 2}));
  ASSERT_TRUE(AwaitQueued(p.port, 2));
  p.port.BeginArrivalWatch();
  // Three more come while the caller spins, looking at the queue.
  std::atomic<bool> sent{false};
  steady_clock::time_point sentAt;
  std::thread device([&] {
    std::this_thread::sleep_for(20ms);
    sentAt = steady_clock::now();
    p.pty.Send(Bytes({3, 4, 5}));
    sent = true;
  });
  // The spin lasts until well after they came, however late the device thread ran.
  while (!sent) p.port.NoteArrivals();
  const auto spinEnd = steady_clock::now() + 30ms;
  while (steady_clock::now() < spinEnd) p.port.NoteArrivals();
  device.join();
  const auto readStart = steady_clock::now();

  // A read of four: the two of unknown time, stamped by the read and marked
  // as waiting, then two of the three, stamped when they came.
  ASSERT_EQ(p.port.Read(buf, 4), 4);
  ASSERT_GE(link.chunks.size(), 2u);
  EXPECT_EQ(Hex(link.chunks[0].bytes), "01 02");
  EXPECT_TRUE(link.chunks[0].waiting);
  EXPECT_GE(link.chunks[0].arrived, readStart);
  EXPECT_EQ(Hex(link.AllBytes()), "01 02 03 04");
  for (size_t i = 1; i < link.chunks.size(); ++i) {
    EXPECT_FALSE(link.chunks[i].waiting);
    EXPECT_GE(link.chunks[i].arrived, sentAt);
    EXPECT_LT(link.chunks[i].arrived, readStart) << "stamped by the read, not by the arrival";
  }
  // The last one, in the next read, keeps its arrival time too.
  const auto firstArrival = link.chunks[1].arrived;
  link.chunks.clear();
  ASSERT_EQ(p.port.Read(buf, 1), 1);
  ASSERT_EQ(link.chunks.size(), 1u);
  EXPECT_EQ(Hex(link.chunks[0].bytes), "05");
  EXPECT_FALSE(link.chunks[0].waiting);
  EXPECT_GE(link.chunks[0].arrived, firstArrival);
  EXPECT_LT(link.chunks[0].arrived, readStart);

  // A purge forgets what was noted: bytes queued after it are of unknown time again.
  p.port.BeginArrivalWatch();
  p.pty.Send(Bytes({6}));
  ASSERT_TRUE(AwaitQueued(p.port, 1));
  p.port.NoteArrivals();
  p.port.ClearBuffer(true, false);
  p.pty.Send(Bytes({7}));
  ASSERT_TRUE(AwaitQueued(p.port, 1));
  link.chunks.clear();
  ASSERT_EQ(p.port.Read(buf, 1), 1);
  ASSERT_EQ(link.chunks.size(), 1u);
  EXPECT_EQ(Hex(link.chunks[0].bytes), "07");
  EXPECT_TRUE(link.chunks[0].waiting);
  p.port.UnRegisterLink(&link);
}

namespace {
// Counts the line-settings calls that reach the device.
class CountingPort : public TComPort {
public:
  int dcbApplied = 0;

protected:
  void ApplyDCB() override {
    if (Connected()) ++dcbApplied;
    TComPort::ApplyDCB();
  }
};
}  // namespace

TEST(ComPortSettings, SettersStoreWhileClosedAndApplyWhileOpen) {
  PtyPair pty;
  CountingPort port;
  port.SetPort(pty.SlavePath());
  port.SetBaudRate(br19200);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prEven);
  EXPECT_EQ(port.dcbApplied, 0) << "nothing reaches a closed port";
  port.Open();
  EXPECT_EQ(port.dcbApplied, 1) << "Open applies everything at once";
  PtyPair::LineSettings line = pty.Settings();
  EXPECT_EQ(line.Baud, 19200u);
  EXPECT_TRUE(line.TwoStopBits);

  port.SetBaudRate(br19200);
  port.Parity().SetBits(prEven);
  EXPECT_EQ(port.dcbApplied, 1) << "an unchanged value makes no system call";
  // A pseudo-terminal keeps 8 bits without parity whatever is asked; the
  // port must still accept the settings, as a simulated device is used with them.
  port.Parity().SetBits(prOdd);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbSeven);
  port.SetBaudRate(br115200);
  EXPECT_EQ(port.dcbApplied, 5);
  line = pty.Settings();
  EXPECT_FALSE(line.TwoStopBits);
  EXPECT_EQ(line.Baud, 115200u);
  EXPECT_TRUE(port.Connected());
}

TEST(ComPortSettings, RatesWithoutAStandardConstantAreSet) {
  for (TBaudRate rate : {br14400, br56000, br128000, br256000}) {
    OpenPort p;
    EXPECT_NO_THROW(p.port.SetBaudRate(rate)) << BaudRateValue(rate);
    EXPECT_TRUE(p.port.Connected());
  }
  OpenPort custom;
  custom.port.SetCustomBaudRate(31250);
  EXPECT_NO_THROW(custom.port.SetBaudRate(brCustom));
}

TEST(ComPortSettings, TheMainWindowPortRecord) {
  TComPort port;
  LoadMainPortProperties(port);
  EXPECT_FALSE(port.Connected()) << "the main window's port starts closed";
  EXPECT_EQ(port.Port(), "COM2");
  const LineSettings s = port.BuildLineSettings();
  EXPECT_EQ(s.Flags, 0x0001u);
  EXPECT_EQ(s.BaudRate, 9600u);
  EXPECT_EQ(s.ByteSize, 8);
  EXPECT_EQ(s.StopBits, 2);
  EXPECT_EQ(s.Parity, 0);
  EXPECT_EQ(s.XonLim, 256);
  EXPECT_EQ(s.XoffLim, 256);
  EXPECT_EQ(s.XonChar, 0x11);
  EXPECT_EQ(s.XoffChar, 0x13);
  const TimeoutValues t = port.BuildTimeouts();
  EXPECT_EQ(t, (TimeoutValues{100, 100, 1000, 100, 1000}));
  EXPECT_EQ(port.Events().ToMask(), 0x05FFu);

  TComPort defaults;
  EXPECT_EQ(defaults.BuildTimeouts(), (TimeoutValues{0xFFFFFFFF, 0, 0, 100, 1000}));
  defaults.FlowControl().SetControlDTR(dtrHandshake);
  defaults.FlowControl().SetControlRTS(rtsToggle);
  defaults.Parity().SetCheck(true);
  defaults.Parity().SetReplace(true);
  defaults.Parity().SetReplaceChar('?');
  defaults.SetDiscardNull(true);
  const LineSettings d = defaults.BuildLineSettings();
  EXPECT_EQ(d.Flags, 0x0001u | 0x0020 | 0x3000 | 0x0002 | 0x0400 | 0x0800);
  EXPECT_EQ(d.ErrorChar, '?');
}

TEST(ComPortSettings, ANewNameWhileOpenReopensOnIt) {
  OpenPort p;
  PtyPair other;
  other.ReleaseSlave();
  p.port.SetPort(other.SlavePath());
  EXPECT_TRUE(p.port.Connected());
  const auto byte = Bytes({0x5A});
  p.port.Write(byte.data(), 1);
  EXPECT_EQ(other.Receive(1, 200ms), byte);
  EXPECT_EQ(p.pty.Pending(), 0u);

  EXPECT_THROW(p.port.SetPort("COM99999"), EComPort);
  EXPECT_FALSE(p.port.Connected()) << "a name that cannot be opened leaves the port closed";
}
