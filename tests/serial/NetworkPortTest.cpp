// The serial component on a network endpoint: real sockets on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ComPort.h"
#include "MainPortProperties.h"
#include "TcpPeer.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string LoopbackName(uint16_t port, const char* scheme = "rtuovertcp://") {
  return scheme + std::string("127.0.0.1:") + std::to_string(port);
}

// The main window's port with short read time-outs: 30 ms between bytes,
// 150 ms + 10 ms a byte in all.
struct NetPort {
  TComPort port;
  explicit NetPort(const std::string& name) {
    LoadMainPortProperties(port);
    port.Timeouts().SetReadInterval(30);
    port.Timeouts().SetReadTotalMultiplier(10);
    port.Timeouts().SetReadTotalConstant(150);
    port.SetConnectTimeout(400);
    port.SetPort(name);
  }
};

PeerAnswer Say(PeerBytes bytes) { return {{std::move(bytes)}}; }

std::string OpenError(TComPort& port) {
  try {
    port.Open();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, CError_OpenFailed);
    EXPECT_FALSE(port.Connected());
    return e.what();
  }
  ADD_FAILURE() << "opened";
  return {};
}
}  // namespace

TEST(NetworkPortOpen, RefusedTimedOutAndMalformedEndpointsSayWhy) {
  const uint16_t refusing = RefusingPort();
  NetPort refused(LoopbackName(refusing, "tcp://"));
  EXPECT_EQ(OpenError(refused.port), "Unable to open com port (Error: " + std::to_string(ECONNREFUSED) +
                                         "): connection refused by 127.0.0.1:" + std::to_string(refusing));

  FullListener full;
  NetPort late(LoopbackName(full.Port()));
  const auto start = Clock::now();
  EXPECT_EQ(OpenError(late.port), "Unable to open com port (Error: " + std::to_string(ETIMEDOUT) +
                                      "): no connection to 127.0.0.1:" + std::to_string(full.Port()) +
                                      " within 400 ms");
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 390ms);
  EXPECT_LT(took, 1500ms);

  for (const char* name : {"tcp://", "rtuovertcp://127.0.0.1", "tcp://127.0.0.1:99999"}) {
    NetPort malformed(name);
    EXPECT_NE(OpenError(malformed.port).find("not a network endpoint: " + std::string(name)), std::string::npos);
  }
}

TEST(NetworkPortOpen, OpensWithNoLinesAndNoLineSettingsAndClosesTheConnection) {
  TcpPeer peer([](const PeerBytes&) { return PeerAnswer{}; });
  NetPort net(LoopbackName(peer.Port()));
  std::vector<std::string> signals;
  net.port.OnCTSChange = [&](bool on) { signals.push_back(on ? "CTS on" : "CTS off"); };
  net.port.OnDSRChange = [&](bool on) { signals.push_back(on ? "DSR on" : "DSR off"); };
  net.port.SetBaudRate(br115200);  // nothing of a line applies, and nothing fails for it
  net.port.Open();
  EXPECT_TRUE(net.port.Connected());
  EXPECT_EQ(net.port.PortKind(), EndpointKind::RtuOverTcp);
  EXPECT_EQ(signals, (std::vector<std::string>{"CTS off", "DSR off"}));
  net.port.SetStopBits(sbOneStopBit);
  net.port.Close();
  EXPECT_FALSE(net.port.Connected());
  EXPECT_EQ(peer.Accepted(), 1);
}

TEST(NetworkPortRead, TimeOutsFollowTheSerialRulesOverTheStream) {
  // Two bytes, then silence: the read ends one interval after the second.
  TcpPeer peer([](const PeerBytes&) { return Say({0x01, 0x03}); });
  NetPort net(LoopbackName(peer.Port()));
  net.port.Open();
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  EXPECT_EQ(net.port.Write(request, sizeof request), 8);
  uint8_t answer[10] = {};
  auto start = Clock::now();
  EXPECT_EQ(net.port.Read(answer, 10), 2);
  auto took = Clock::now() - start;
  EXPECT_GE(took, 30ms);
  EXPECT_LT(took, 200ms) << "ended by the interval, not the total of 250 ms";

  // Nothing at all: the total time-out, 150 ms + 10 ms a byte.
  start = Clock::now();
  EXPECT_EQ(net.port.Read(answer, 3), 0);
  took = Clock::now() - start;
  EXPECT_GE(took, 180ms);
  EXPECT_LT(took, 400ms);
}

TEST(NetworkPortRead, BytesQueuedAreCountedAndPurged) {
  TcpPeer peer([](const PeerBytes&) { return Say({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}); });
  NetPort net(LoopbackName(peer.Port()));
  net.port.Open();
  const uint8_t ping = 0x55;
  net.port.Write(&ping, 1);
  for (int i = 0; i < 100 && net.port.InputCount() < 10; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(net.port.InputCount(), 10);
  uint8_t three[3] = {};
  EXPECT_EQ(net.port.Read(three, 3), 3);
  EXPECT_EQ(three[2], 3);
  EXPECT_EQ(net.port.InputCount(), 7);
  net.port.ClearBuffer(true, true);
  EXPECT_EQ(net.port.InputCount(), 0);
  EXPECT_EQ(net.port.Read(three, 1), 0);
}

TEST(NetworkPortLost, APeerThatClosesOrResetsMidAnswerLosesThePortAndTheNextWriteConnectsAgain) {
  for (const auto then : {PeerAnswer::Then::Close, PeerAnswer::Then::Reset}) {
    int request = 0;
    TcpPeer peer([&](const PeerBytes&) {
      // The first answer breaks off after three bytes; later ones are whole.
      if (++request == 1) return PeerAnswer{{{0x01, 0x03, 0x02}}, then};
      return Say({0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33});
    });
    NetPort net(LoopbackName(peer.Port()));
    net.port.Open();
    const uint8_t ask[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    net.port.Write(ask, sizeof ask);
    uint8_t answer[7] = {};
    try {
      net.port.Read(answer, 7);
      ADD_FAILURE() << "the read went on past the end of the connection";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.FailureCode, CError_ReadFailed);
      const std::string text = e.what();
      EXPECT_TRUE(text.starts_with("ReadFile function failed (Error: ")) << text;
      EXPECT_NE(text.find("127.0.0.1:" + std::to_string(peer.Port())), std::string::npos) << text;
    }
    EXPECT_TRUE(net.port.Connected()) << "the port stays open: the caller decides";
    EXPECT_EQ(net.port.InputCount(), 0);

    net.port.ClearBuffer(true, true);
    EXPECT_EQ(net.port.Write(ask, sizeof ask), 8);
    EXPECT_EQ(net.port.Read(answer, 7), 7);
    EXPECT_EQ(answer[4], 0x34);
    EXPECT_EQ(peer.Accepted(), 2);
  }
}

TEST(NetworkPortLost, AConnectionEndedWhileIdleIsMadeAgainByTheNextTransaction) {
  int request = 0;
  TcpPeer peer([&](const PeerBytes&) {
    // The device server ends the connection right after its first answer.
    ++request;
    return PeerAnswer{{{0x01, 0x0E, 0x81, 0xE4}}, request == 1 ? PeerAnswer::Then::Close : PeerAnswer::Then::StayOpen};
  });
  NetPort net(LoopbackName(peer.Port()));
  net.port.Open();
  const uint8_t poll14[] = {0x01, 0x0E, 0x81, 0xE4};
  uint8_t answer[4] = {};
  net.port.Write(poll14, 4);
  EXPECT_EQ(net.port.Read(answer, 4), 4);
  std::this_thread::sleep_for(50ms);  // the close has arrived
  net.port.ClearBuffer(true, true);   // a transaction begins: finds it closed
  EXPECT_EQ(net.port.Write(poll14, 4), 4);
  EXPECT_EQ(net.port.Read(answer, 4), 4);
  EXPECT_EQ(peer.Accepted(), 2);
}

TEST(NetworkPortLost, ANextWriteThatCannotConnectIsAWriteFailure) {
  auto peer = std::make_unique<TcpPeer>([](const PeerBytes&) { return PeerAnswer{{}, PeerAnswer::Then::Close}; });
  NetPort net(LoopbackName(peer->Port()));
  net.port.Open();
  const uint8_t byte = 0x01;
  net.port.Write(&byte, 1);
  uint8_t got = 0;
  EXPECT_THROW(net.port.Read(&got, 1), EComPort);
  const uint16_t port = peer->Port();
  peer.reset();  // nothing listens there any more
  try {
    net.port.Write(&byte, 1);
    ADD_FAILURE() << "wrote without a connection";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, CError_WriteFailed);
    EXPECT_NE(std::string(e.what()).find("connection refused by 127.0.0.1:" + std::to_string(port)),
              std::string::npos)
        << e.what();
  }
}

TEST(NetworkPortEvents, ReceivedDataIsReportedAndCloseEndsTheWaitAtOnce) {
  TcpPeer peer([](const PeerBytes&) { return Say({0xAA, 0xBB}); });
  NetPort net(LoopbackName(peer.Port()));
  net.port.SetSyncMethod(smNone);
  std::atomic<int> rxChars{0};
  net.port.OnRxChar = [&](int count) { rxChars += count; };
  net.port.Open();
  EXPECT_TRUE(net.port.EventThreadStarted());
  const uint8_t ping = 0x55;
  net.port.Write(&ping, 1);
  for (int i = 0; i < 200 && rxChars.load() == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(rxChars.load(), 2);
  const auto start = Clock::now();
  net.port.Close();
  EXPECT_LT(Clock::now() - start, 200ms);
}
