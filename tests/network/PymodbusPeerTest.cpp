// pymodbus's TCP server, with its RTU framer (a device server passing RTU
// frames) and its socket framer (Modbus TCP), holding values chosen here at
// random: the link reads and writes them through rtuovertcp:// and tcp://.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "NetLinkRig.h"
#include "PeerProgram.h"

namespace {
struct Chosen {
  int unit;
  int first;  // of the holding registers
  std::vector<int> registers;
  std::vector<int> coils;  // from coil 0
};

Chosen Choose(unsigned seed) {
  std::mt19937 random(seed);
  Chosen c;
  c.unit = std::uniform_int_distribution<int>(1, 31)(random);
  c.first = std::uniform_int_distribution<int>(0, 200)(random);
  for (int i = 0; i < 12; ++i) c.registers.push_back(std::uniform_int_distribution<int>(0, 65535)(random));
  for (int i = 0; i < 16; ++i) c.coils.push_back(std::uniform_int_distribution<int>(0, 1)(random));
  return c;
}

std::string List(int first, const std::vector<int>& values) {
  std::ostringstream out;
  out << first << '=';
  for (size_t i = 0; i < values.size(); ++i) out << (i ? "," : "") << values[i];
  return out.str();
}

PeerProgram StartPymodbus(const char* framer, const Chosen& c) {
  return PeerProgram({"/usr/bin/python3", PYMODBUS_SERVER, "--framer", framer, "--unit", std::to_string(c.unit),
                      "--holding", List(c.first, c.registers), "--coils", List(0, c.coils)});
}

std::vector<uint8_t> Quantity(int address, int count) {
  return {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(count >> 8),
          static_cast<uint8_t>(count)};
}

void ReadAndWriteThrough(const std::string& scheme, const char* framer, unsigned seed) {
  SCOPED_TRACE("values chosen with seed " + std::to_string(seed));
  const Chosen c = Choose(seed);
  PeerProgram server = StartPymodbus(framer, c);
  NetLinkRig rig(scheme + WordOf(server.FirstLine(), 1));
  const int device = c.unit - 1;

  ASSERT_EQ(rig.Send(3, Quantity(c.first, 12), device), 0);
  EXPECT_EQ(rig.Answer()[0], c.unit);
  EXPECT_EQ(RegistersOf(rig.Answer()), c.registers);

  ASSERT_EQ(rig.Send(1, Quantity(0, 16), device), 0);
  std::vector<int> coils;
  for (int i = 0; i < 16; ++i) coils.push_back(rig.Answer()[3 + i / 8] >> (i % 8) & 1);
  EXPECT_EQ(coils, c.coils);

  // Register 0x0301 (an address whose high byte, read as a byte count, makes
  // the link expect the 8-byte echo) gets a new value, and keeps it.
  ASSERT_EQ(rig.Send(6, {0x03, 0x01, 0xBE, 0xEF}, device), 0);
  EXPECT_EQ(rig.Answer(), std::vector<uint8_t>(rig.answer.begin(), rig.answer.begin() + 8));
  ASSERT_EQ(rig.Send(3, Quantity(0x0301, 1), device), 0);
  EXPECT_EQ(RegistersOf(rig.Answer()), std::vector<int>{0xBEEF});

  // Coils 3..12 all on, then read back.
  ASSERT_EQ(rig.Send(15, {0x00, 0x03, 0x00, 0x0A, 0x02, 0xFF, 0x03}, device), 0);
  EXPECT_EQ(rig.link.AnswerLen, 8);
  ASSERT_EQ(rig.Send(1, Quantity(3, 10), device), 0);
  EXPECT_EQ(rig.answer[3], 0xFF);
  EXPECT_EQ(rig.answer[4], 0x03);

  // pymodbus's own exception for an address outside its bank.
  EXPECT_EQ(rig.Send(3, Quantity(1999, 2), device), 2);
  // Another unit: pymodbus keeps quiet.
  rig.link.Repeats1 = 1;
  EXPECT_EQ(rig.Send(3, Quantity(c.first, 1), c.unit % 31), 130);
  EXPECT_TRUE(rig.form.Boxes.empty());
}
}  // namespace

TEST(PymodbusPeer, RtuFramerThroughRtuOverTcp) { ReadAndWriteThrough("rtuovertcp://", "rtu", std::random_device{}()); }

TEST(PymodbusPeer, SocketFramerThroughModbusTcp) { ReadAndWriteThrough("tcp://", "socket", std::random_device{}()); }
