// libmodbus's Modbus TCP client against modbus-sim --tcp --tcp-framing mbap:
// both agree on every request code libmodbus has, answers and exceptions.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>

#include "PeerProgram.h"

namespace {
constexpr int kDevice = 6;
// The simulator's device `a`: holding register k = 1000a + k, input register
// k its complement, coil k on when (k + a) mod 3 = 0, input k when (k + a) mod 5 = 0.
int Holding(int k) { return 1000 * kDevice + k; }

struct Client {
  PeerProgram sim{{MODBUS_SIM_PATH, "--tcp", "127.0.0.1:0", "--tcp-framing", "mbap", "--devices", "6"}};
  modbus_t* ctx = nullptr;
  Client() {
    const std::string address = WordOf(sim.FirstLine(), 2);
    const auto colon = address.rfind(':');
    ctx = modbus_new_tcp(address.substr(0, colon).c_str(), std::stoi(address.substr(colon + 1)));
    if (!ctx || modbus_connect(ctx) != 0) throw std::runtime_error("libmodbus cannot connect to " + address);
    modbus_set_slave(ctx, kDevice);
  }
  ~Client() {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};
}  // namespace

TEST(LibmodbusTcpClient, ReadingCodesAgree) {
  Client c;
  uint16_t registers[10] = {};
  ASSERT_EQ(modbus_read_registers(c.ctx, 20, 10, registers), 10) << modbus_strerror(errno);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(registers[i], Holding(20 + i));
  ASSERT_EQ(modbus_read_input_registers(c.ctx, 3, 4, registers), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(registers[i], 65535 - Holding(3 + i));
  uint8_t bits[20] = {};
  ASSERT_EQ(modbus_read_bits(c.ctx, 0, 20, bits), 20);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(bits[k], (k + kDevice) % 3 == 0) << "coil " << k;
  ASSERT_EQ(modbus_read_input_bits(c.ctx, 5, 20, bits), 20);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(bits[k], (k + 5 + kDevice) % 5 == 0) << "input " << k + 5;
  uint8_t id[64] = {};
  const int n = modbus_report_slave_id(c.ctx, sizeof id, id);
  ASSERT_GT(n, 2);
  EXPECT_EQ(id[0], kDevice);
  EXPECT_EQ(id[1], 0xFF);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id + 2), static_cast<size_t>(n - 2)), "modbus-sim");
}

TEST(LibmodbusTcpClient, WritingCodesAgree) {
  Client c;
  ASSERT_EQ(modbus_write_register(c.ctx, 7, 0xBEEF), 1) << modbus_strerror(errno);
  ASSERT_EQ(modbus_write_bit(c.ctx, 1, 1), 1);
  const uint8_t coils[10] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
  ASSERT_EQ(modbus_write_bits(c.ctx, 100, 10, coils), 10);
  uint16_t value = 0;
  ASSERT_EQ(modbus_read_registers(c.ctx, 7, 1, &value), 1);
  EXPECT_EQ(value, 0xBEEF);
  uint8_t bits[10] = {};
  ASSERT_EQ(modbus_read_bits(c.ctx, 100, 10, bits), 10);
  EXPECT_EQ(std::vector<uint8_t>(bits, bits + 10), std::vector<uint8_t>(coils, coils + 10));
  ASSERT_EQ(modbus_read_bits(c.ctx, 1, 1, bits), 1);
  EXPECT_EQ(bits[0], 1);
}

TEST(LibmodbusTcpClient, ExceptionsAgree) {
  Client c;
  uint16_t registers[4] = {1, 2, 3, 4};
  // The simulator does not serve 16, 22 and 23: illegal function.
  EXPECT_EQ(modbus_write_registers(c.ctx, 0, 2, registers), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_mask_write_register(c.ctx, 0, 0x00FF, 0x0F00), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_write_and_read_registers(c.ctx, 0, 1, registers, 0, 1, registers), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  // Beyond the bank: illegal data address.
  EXPECT_EQ(modbus_read_registers(c.ctx, 1023, 2, registers), -1);
  EXPECT_EQ(errno, EMBXILADD);
  // The connection is still good after all of them.
  ASSERT_EQ(modbus_read_registers(c.ctx, 0, 1, registers), 1);
  EXPECT_EQ(registers[0], Holding(0));
}
