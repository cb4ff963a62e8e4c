// The traffic monitor on network endpoints: frames as they went over the
// network (MBAP header and all), what their times mean there, and no line
// timing read into segment gaps.
#include <gtest/gtest.h>

#include "FrameRtuForm.h"
#include "FrameText.h"
#include "NetLinkRig.h"
#include "TcpPeer.h"
#include "TrafficRecorder.h"

namespace {
using namespace std::chrono_literals;
const std::vector<uint8_t> kRead = {0x00, 0x00, 0x00, 0x01};

std::vector<FrameLine> Lines(const TrafficRecorder& recorder) {
  std::vector<FrameLine> lines;
  const MonitorFrame* previous = nullptr;
  const ClockAnchor anchor = ClockAnchor::Now();
  for (const MonitorFrame& frame : recorder.Frames().Frames()) {
    lines.push_back(DescribeFrame(frame, previous, anchor));
    previous = &frame;
  }
  return lines;
}
}  // namespace

TEST(NetworkMonitor, ModbusTcpFramesShowTheirHeaderAndTheirFunctionAndNoCrc) {
  TcpPeer peer([](const PeerBytes& r) {
    // The answer in two segments 20 ms apart: far beyond 1.5 characters at 9600.
    return PeerAnswer{{{r[0], r[1], 0, 0, 0, 5, 1}, {0x03, 0x02, 0x00, 0x2A}}, PeerAnswer::Then::StayOpen, 20ms};
  });
  NetLinkRig rig("tcp://127.0.0.1:" + std::to_string(peer.Port()));
  TrafficRecorder recorder;
  recorder.Attach(rig.link);
  ASSERT_EQ(rig.Send(3, kRead, 0), 0);
  const auto lines = Lines(recorder);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0][ColBytes], "00 01 00 00 00 06 01 03 00 00 00 01");
  EXPECT_EQ(lines[1][ColBytes], "00 01 00 00 00 05 01 03 02 00 2A");
  EXPECT_EQ(lines[0][ColCrc], "нет, MBAP");
  EXPECT_EQ(lines[1][ColFunction], "3");
  EXPECT_NE(lines[1][ColNotes].find(kNetworkTimesNote), std::string::npos);
  EXPECT_EQ(lines[1][ColNotes].find("1,5 символа"), std::string::npos) << "segments are no line pauses";
  EXPECT_FALSE(lines[1][ColGap].empty()) << "the pause between the segments is still shown";
  recorder.Detach();
}

TEST(NetworkMonitor, RtuOverTcpFramesKeepTheirCrcAndExceptionsAreNamed) {
  TcpPeer peer([](const PeerBytes&) { return PeerAnswer{{{0x01, 0x83, 0x02, 0xC0, 0xF1}}}; });
  NetLinkRig rig("rtuovertcp://127.0.0.1:" + std::to_string(peer.Port()));
  TrafficRecorder recorder;
  recorder.Attach(rig.link);
  ASSERT_EQ(rig.Send(3, kRead, 0), 2);
  const auto lines = Lines(recorder);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0][ColCrc], "верна");
  EXPECT_EQ(lines[1][ColFunction], "3, исключение 2");
  EXPECT_NE(lines[1][ColNotes].find(kNetworkTimesNote), std::string::npos);
  recorder.Detach();
}

TEST(NetworkMonitor, ModbusTcpFramesReadInRtuFormForTheirValues) {
  MonitorFrame answer;
  answer.Direction = FrameDirection::Rx;
  answer.Transport = FrameTransport::ModbusTcp;
  answer.Bytes = {0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0x04, 0x03, 0x02, 0x12, 0x34};
  EXPECT_EQ(RtuBytesOf(answer), (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x12, 0x34, 0x79, 0x33}));
  answer.Bytes.resize(7);
  EXPECT_TRUE(RtuBytesOf(answer).empty()) << "a header alone holds no frame";
  answer.Transport = FrameTransport::RtuOverTcp;
  EXPECT_EQ(RtuBytesOf(answer), answer.Bytes);
}
