// The link over network endpoints: RTU frames over TCP found by length and
// CRC whatever the segments, Modbus TCP framing with its header checked, a
// lost connection and the reconnection after it. Real sockets on loopback.
#include <gtest/gtest.h>

#include <chrono>

#include "ComPort.h"
#include "ComPortClass.h"
#include "Crc16.h"
#include "MainPortProperties.h"
#include "PtyPair.h"
#include "RecordingOperator.h"
#include "TcpPeer.h"

namespace {
using namespace std::chrono_literals;

PeerBytes WithCrc(PeerBytes frame) {
  const uint16_t crc = Crc16(static_cast<int32_t>(frame.size()), frame.data());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// The answer of a device at `unit` to a read of two registers: 0x1234, 0xABCD.
const PeerBytes kPdu = {0x03, 0x04, 0x12, 0x34, 0xAB, 0xCD};
PeerBytes RtuAnswer(uint8_t unit = 1) {
  PeerBytes frame{unit};
  frame.insert(frame.end(), kPdu.begin(), kPdu.end());
  return WithCrc(frame);
}
PeerBytes MbapAnswer(const PeerBytes& request, PeerBytes pdu = kPdu) {
  const size_t length = pdu.size() + 1;
  const uint8_t header[7] = {request[0], request[1], 0, 0, static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length), request[6]};
  pdu.insert(pdu.begin(), std::begin(header), std::end(header));
  return pdu;
}
// The bytes cut into two segments at `at`.
std::vector<PeerBytes> CutAt(const PeerBytes& bytes, size_t at) {
  return {PeerBytes(bytes.begin(), bytes.begin() + static_cast<long>(at)),
          PeerBytes(bytes.begin() + static_cast<long>(at), bytes.end())};
}

struct NetLink {
  TComPort port;
  RecordingOperator form;
  TComPortClass link{port, form};
  uint8_t answer[300] = {};

  NetLink(const std::string& scheme, uint16_t peerPort) {
    LoadMainPortProperties(port);
    port.Timeouts().SetReadInterval(30);
    port.Timeouts().SetReadTotalMultiplier(10);
    port.Timeouts().SetReadTotalConstant(150);
    link.PortName = scheme + "127.0.0.1:" + std::to_string(peerPort);
    link.TxDelay = link.RxDelay = 0;
    EXPECT_EQ(link.OpenPort(), 0);
  }
  int32_t ReadTwo(int32_t deviceIndex = 0) {
    std::fill(std::begin(answer), std::end(answer), 0);
    const uint8_t data[] = {0x00, 0x10, 0x00, 0x02};
    return link.Transact(deviceIndex, 3, 4, data, answer, sizeof answer);
  }
  PeerBytes Answer() const { return PeerBytes(answer, answer + link.AnswerLen); }
};
}  // namespace

TEST(RtuOverTcp, AnswersSplitAtEveryByteBoundaryAreFoundByLengthAndCrc) {
  const PeerBytes whole = RtuAnswer();
  size_t cut = 0;
  TcpPeer peer([&](const PeerBytes&) { return PeerAnswer{CutAt(whole, cut)}; });
  NetLink net("rtuovertcp://", peer.Port());
  for (cut = 0; cut <= whole.size(); ++cut) {
    ASSERT_EQ(net.ReadTwo(), 0) << "cut at " << cut;
    EXPECT_EQ(net.Answer(), whole) << "cut at " << cut;
  }
  // The request went out as the line would carry it: address, code, data, CRC.
  EXPECT_EQ(peer.Requests().front(), WithCrc({0x01, 0x03, 0x00, 0x10, 0x00, 0x02}));
  EXPECT_EQ(peer.Accepted(), 1);
}

TEST(RtuOverTcp, TwoAnswersInOneSegmentAreTwoAnswers) {
  // A device server that merges: the late answer and the next one together.
  int request = 0;
  TcpPeer peer([&](const PeerBytes&) {
    if (++request != 2) return PeerAnswer{};  // the first gets nothing in time, the third nothing at all
    PeerBytes both = RtuAnswer();
    const PeerBytes again = RtuAnswer();
    both.insert(both.end(), again.begin(), again.end());
    return PeerAnswer{{both}};
  });
  NetLink net("rtuovertcp://", peer.Port());
  net.link.Repeats1 = 1;
  EXPECT_EQ(net.ReadTwo(), 130);
  EXPECT_EQ(net.ReadTwo(), 0);
  EXPECT_EQ(net.Answer(), RtuAnswer());
  EXPECT_EQ(net.ReadTwo(), 130) << "the second copy was purged with the next transaction";
}

TEST(ModbusTcp, RequestsAreWrappedWithANewTransactionEachAndAnswersUnwrapped) {
  TcpPeer peer([](const PeerBytes& request) { return PeerAnswer{{MbapAnswer(request)}}; });
  NetLink net("tcp://", peer.Port());
  ASSERT_EQ(net.ReadTwo(4), 0);
  // Unit 5 answers in the RTU form the engine and the display know.
  EXPECT_EQ(net.Answer(), RtuAnswer(5));
  ASSERT_EQ(net.ReadTwo(4), 0);
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], PeerBytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x05, 0x03, 0x00, 0x10, 0x00, 0x02}));
  EXPECT_EQ(requests[1][1], 0x02) << "the next transaction identifier";

  // The clock frame is a broadcast to unit 0 and, like 69, gets no answer read.
  const uint8_t clock[7] = {};
  EXPECT_EQ(net.link.Transact(4, 70, 7, clock, net.answer, sizeof net.answer), 0);
  const uint8_t database[] = {3, 1, 2, 3};
  EXPECT_EQ(net.link.Transact(4, 69, 4, database, net.answer, sizeof net.answer), 0);
  // Neither waits for an answer: the two may arrive in one segment.
  PeerBytes sent;
  for (int i = 0; i < 100 && sent.size() < 27; ++i) {
    std::this_thread::sleep_for(5ms);
    sent.clear();
    for (const PeerBytes& r : peer.Requests()) sent.insert(sent.end(), r.begin(), r.end());
  }
  ASSERT_EQ(sent.size(), 24u + 15u + 12u);
  const PeerBytes clockFrame(sent.begin() + 24, sent.begin() + 39);
  EXPECT_EQ(PeerBytes(clockFrame.begin(), clockFrame.begin() + 8),
            PeerBytes({0x00, 0x03, 0x00, 0x00, 0x00, 0x09, 0x00, 70}))
      << "to unit 0, the clock fields after the code";
  EXPECT_EQ(PeerBytes(sent.begin() + 39, sent.end()),
            PeerBytes({0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x05, 69, 3, 1, 2, 3}));
}

TEST(ModbusTcp, AnswersSplitAtEveryByteBoundaryHeaderIncluded) {
  size_t cut = 0;
  TcpPeer peer([&](const PeerBytes& request) { return PeerAnswer{CutAt(MbapAnswer(request), cut)}; });
  NetLink net("tcp://", peer.Port());
  for (cut = 0; cut <= kPdu.size() + 7; ++cut) {
    ASSERT_EQ(net.ReadTwo(), 0) << "cut at " << cut;
    EXPECT_EQ(net.Answer(), RtuAnswer()) << "cut at " << cut;
  }
}

TEST(ModbusTcp, ExceptionAnswersAndTheDeviceSpecificCodesPassThrough) {
  TcpPeer peer([](const PeerBytes& request) {
    if (request[7] == 3) return PeerAnswer{{MbapAnswer(request, {0x83, 0x02})}};
    // 68: the module database, byte count 4.
    return PeerAnswer{{MbapAnswer(request, {0x44, 0x04, 0x07, 0x70, 0x71, 0x72})}};
  });
  NetLink net("tcp://", peer.Port());
  EXPECT_EQ(net.ReadTwo(), 2);
  const uint8_t module = 7;
  EXPECT_EQ(net.link.Transact(0, 68, 1, &module, net.answer, sizeof net.answer), 0);
  EXPECT_EQ(net.Answer(), WithCrc({0x01, 0x44, 0x04, 0x07, 0x70, 0x71, 0x72}));
}

TEST(ModbusTcp, AHeaderOfAnotherRequestIsABadAnswerCountedAsABadCrc) {
  struct Case {
    const char* what;
    std::function<void(PeerBytes&)> spoil;
  };
  const Case cases[] = {
      {"transaction", [](PeerBytes& a) { a[1] ^= 0x01; }},
      {"protocol", [](PeerBytes& a) { a[3] = 1; }},
      {"unit", [](PeerBytes& a) { a[6] = 9; }},
      {"length without a function code", [](PeerBytes& a) { a[5] = 1; a.resize(7); }},
  };
  for (const Case& c : cases) {
    TcpPeer peer([&](const PeerBytes& request) {
      PeerBytes answer = MbapAnswer(request);
      c.spoil(answer);
      return PeerAnswer{{answer}};
    });
    NetLink net("tcp://", peer.Port());
    net.link.Repeats1 = 5;
    net.link.Repeats2 = 3;
    EXPECT_EQ(net.ReadTwo(), 131) << c.what;
    // Stage 2 counts them, as it counts bad CRCs: three attempts.
    EXPECT_EQ(peer.Requests().size(), 3u) << c.what;
  }
}

TEST(ModbusTcp, ALateAnswerIsNotTakenForTheNextOne) {
  // The answer to the first attempt comes after the second went out: the
  // second attempt reads it first, and it is not its answer.
  int request = 0;
  PeerBytes first;
  TcpPeer peer([&](const PeerBytes& r) {
    if (++request == 1) {
      first = r;
      return PeerAnswer{};
    }
    if (request == 2) return PeerAnswer{{MbapAnswer(first), MbapAnswer(r)}, PeerAnswer::Then::StayOpen, 1ms};
    return PeerAnswer{{MbapAnswer(r)}};
  });
  NetLink net("tcp://", peer.Port());
  net.link.Repeats1 = 5;
  net.link.Repeats2 = 5;
  // The second attempt reads the late answer: a bad one (its own, behind it,
  // goes with the purge after the pause); the third gets its own.
  EXPECT_EQ(net.ReadTwo(), 0);
  EXPECT_EQ(peer.Requests().size(), 3u);
}

TEST(NetworkLink, APeerClosingMidAnswerLosesThePortAndTheNextTransactionReconnects) {
  for (const char* scheme : {"rtuovertcp://", "tcp://"}) {
    int request = 0;
    TcpPeer peer([&](const PeerBytes& r) {
      const PeerBytes whole = std::string(scheme) == "tcp://" ? MbapAnswer(r) : RtuAnswer();
      if (++request == 1) return PeerAnswer{{PeerBytes(whole.begin(), whole.begin() + 5)}, PeerAnswer::Then::Close};
      return PeerAnswer{{whole}};
    });
    NetLink net(scheme, peer.Port());
    EXPECT_THROW(net.ReadTwo(), EComPort) << scheme;
    EXPECT_TRUE(net.port.Connected()) << scheme;
    EXPECT_EQ(net.ReadTwo(), 0) << scheme;
    EXPECT_EQ(net.Answer(), RtuAnswer()) << scheme;
    EXPECT_EQ(peer.Accepted(), 2) << scheme;
    EXPECT_TRUE(net.form.Boxes.empty()) << scheme;
  }
}

TEST(NetworkLink, OpenPortTakesEndpointsByTheirFormAndStillRefusesOtherNamesWithoutCom) {
  TcpPeer peer([](const PeerBytes&) { return PeerAnswer{}; });
  TComPort port;
  RecordingOperator form;
  TComPortClass link{port, form};
  LoadMainPortProperties(port);
  for (const std::string& name : {"tcp://127.0.0.1:" + std::to_string(peer.Port()),
                                 "rtuovertcp://localhost:" + std::to_string(peer.Port())}) {
    link.PortName = name;
    EXPECT_EQ(link.OpenPort(), 0) << name;
    EXPECT_EQ(port.Port(), name);
  }
  PtyPair pty;
  link.PortName = pty.SlavePath();
  pty.ReleaseSlave();
  EXPECT_EQ(link.OpenPort(), 0) << "a device path typed by the operator";
  for (const char* name : {"tty0", "Com3", "pts/7", ""}) {
    link.PortName = name;
    EXPECT_EQ(link.OpenPort(), -1) << name;
    EXPECT_FALSE(port.Connected()) << name;
  }
  EXPECT_TRUE(form.Boxes.empty());
}
