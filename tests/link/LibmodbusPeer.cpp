// The link's standard codes 1-6, 15 and 17 against libmodbus's RTU server on
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <string>

#include "LibmodbusServer.h"
#include "LinkRig.h"
#include "RegisteredPty.h"

namespace {
struct PeerRig : LinkRig {
  LibmodbusServer server{pty};
  uint8_t answer[300] = {};

  int32_t Send(uint8_t code, std::vector<uint8_t> data, int32_t deviceIndex = 0) {
    std::fill(std::begin(answer), std::end(answer), 0);
    return link.Transact(deviceIndex, code, static_cast<int32_t>(data.size()), data.data(), answer,
                         sizeof answer);
  }
  std::string Answer() const { return Hex({answer, answer + link.AnswerLen}); }
};

std::string RegisterBytes(uint16_t (*initial)(int), int first, int count) {
  std::vector<uint8_t> bytes;
  for (int i = first; i < first + count; ++i) {
    bytes.push_back(static_cast<uint8_t>(initial(i) >> 8));
    bytes.push_back(static_cast<uint8_t>(initial(i) & 0xFF));
  }
  return Hex(bytes);
}
}  // namespace

TEST(LibmodbusPeer, ReadingCodes) {
  PeerRig rig;
  ASSERT_EQ(rig.Send(3, Bytes({0x00, 0x00, 0x00, 0x0A})), 0);
  EXPECT_EQ(rig.link.AnswerLen, 25);
  EXPECT_EQ(rig.Answer().substr(0, 8), "01 03 14");
  EXPECT_EQ(rig.Answer().substr(9, 59),
            RegisterBytes(LibmodbusServer::InitialHoldingRegister, 0, 10));

  ASSERT_EQ(rig.Send(4, Bytes({0x00, 0x05, 0x00, 0x03})), 0);
  EXPECT_EQ(rig.Answer().substr(0, 26),
            "01 04 06 " + RegisterBytes(LibmodbusServer::InitialInputRegister, 5, 3));

  // Coils 0..9: every third is on; discrete inputs: every odd one.
  ASSERT_EQ(rig.Send(1, Bytes({0x00, 0x00, 0x00, 0x0A})), 0);
  EXPECT_EQ(rig.Answer().substr(0, 14), "01 01 02 49 02");
  ASSERT_EQ(rig.Send(2, Bytes({0x00, 0x00, 0x00, 0x0A})), 0);
  EXPECT_EQ(rig.Answer().substr(0, 14), "01 02 02 AA 02");

  // Report server id: byte count, id, run indicator, then libmodbus's own text.
  ASSERT_EQ(rig.Send(17, {}), 0);
  EXPECT_EQ(rig.answer[1], 17);
  EXPECT_EQ(rig.link.AnswerLen, rig.answer[2] + 5);
  EXPECT_EQ(rig.answer[4], 0xFF);
  EXPECT_EQ(rig.server.Served(), 5);
}

TEST(LibmodbusPeer, WritingCodes) {
  PeerRig rig;
  ASSERT_FALSE(rig.server.Coil(1));
  ASSERT_EQ(rig.Send(5, Bytes({0x00, 0x01, 0xFF, 0x00})), 0);
  EXPECT_EQ(rig.Answer(), "01 05 00 01 FF 00 DD FA");  // the echo
  EXPECT_TRUE(rig.server.Coil(1));

  // Ten coils from 20: 0xFF, 0x03.
  ASSERT_EQ(rig.Send(15, Bytes({0x00, 0x14, 0x00, 0x0A, 0x02, 0xFF, 0x03})), 0);
  EXPECT_EQ(rig.link.AnswerLen, 8);
  for (int i = 20; i < 30; ++i) EXPECT_TRUE(rig.server.Coil(i)) << i;
  EXPECT_FALSE(rig.server.Coil(31));

  // Code 6 takes its answer length from byte 2 + 5. The standard echo has the
  // register address's high byte there, so it is read whole for 0x03xx...
  ASSERT_EQ(rig.Send(6, Bytes({0x03, 0x05, 0xBE, 0xEF})), 0);
  EXPECT_EQ(rig.server.HoldingRegister(0x305), 0xBEEF);
  EXPECT_EQ(rig.Answer().substr(0, 17), "01 06 03 05 BE EF");

  // ... and cut short for lower addresses: the write is done, the check fails.
  rig.link.SetRepeats2(1);
  EXPECT_EQ(rig.Send(6, Bytes({0x00, 0x07, 0x12, 0x34})), 131);
  EXPECT_EQ(rig.server.HoldingRegister(7), 0x1234);
}

TEST(LibmodbusPeer, OtherAddressesAndExceptions) {
  PeerRig rig;
  rig.link.SetRepeats1(1);
  // Beyond the server's registers: illegal data address, returned at once.
  EXPECT_EQ(rig.Send(3, Bytes({0x7F, 0x00, 0x00, 0x01})), 2);
  EXPECT_EQ(rig.Send(3, Bytes({0x00, 0x00, 0x00, 0x01})), 0);  // the purge cleared the rest
  EXPECT_EQ(rig.Answer(), "01 03 02 10 00 B5 84");
  // Device 2 is not on the line: libmodbus ignores the frame (and then takes
  // the next frame for device 2's answer, so this comes last).
  EXPECT_EQ(rig.Send(3, Bytes({0x00, 0x00, 0x00, 0x01}), 1), 130);
  EXPECT_EQ(rig.server.Served(), 2);
}

TEST(LibmodbusPeer, ThroughOpenPortByTheRegisteredComName) {
  RegisteredPty line(7);
  LibmodbusServer server(line.pty);
  TComPort port;
  LoadMainPortProperties(port);
  RecordingOperator form;
  TComPortClass link(port, form);
  link.PortName = line.Name();
  link.BaudText = "19200";
  link.ParityText = "E";
  link.StopBitsText = "1";
  ASSERT_EQ(link.OpenPort(), 0);
  EXPECT_EQ(port.Port(), "COM7");
  uint8_t answer[300] = {};
  const uint8_t data[4] = {0x00, 0x02, 0x00, 0x01};
  EXPECT_EQ(link.Transact(0, 3, 4, data, answer, sizeof answer), 0);
  EXPECT_EQ(Hex({answer, answer + 7}), Hex(Bytes({0x01, 0x03, 0x02, 0x10, 0x02, 0x34, 0x45})));

  link.SetRepeats1(1);
  port.Timeouts().SetReadTotalConstant(100);
  EXPECT_EQ(link.Transact(2, 3, 4, data, answer, sizeof answer), 130);
  link.ReportResult(2, 130);
  ASSERT_EQ(form.Boxes.size(), 1u);
  EXPECT_EQ(form.Boxes[0].Text, "устройство 3 COM7 не отвечает на запрос");
  link.ClosePort();
  EXPECT_FALSE(port.Connected());
}
