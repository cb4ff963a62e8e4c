// libmodbus, a standard master from outside the project, against the real
// modbus-sim program: the documented contents come back, writes stick,
// errors come as standard exception answers.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "SimTestSupport.h"

namespace {
class LibmodbusMaster : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.WaitStarted()) << sim_.Output();
    ctx_ = modbus_new_rtu(sim_.Device().c_str(), 115200, 'N', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    modbus_set_response_timeout(ctx_, 0, 500000);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
    modbus_set_slave(ctx_, 1);
  }
  void TearDown() override {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }
  TempRuntimeDir runtime_;
  SimProcess sim_{{"--devices", "1,5-7"}};
  modbus_t* ctx_ = nullptr;
};
}  // namespace

TEST_F(LibmodbusMaster, ReadsTheDocumentedPatternOfEachDevice) {
  for (int address : {1, 5, 7}) {
    modbus_set_slave(ctx_, address);
    uint16_t regs[125];
    ASSERT_EQ(modbus_read_registers(ctx_, 0, 125, regs), 125) << modbus_strerror(errno);
    for (int k = 0; k < 125; ++k) ASSERT_EQ(regs[k], address * 1000 + k) << k;
    ASSERT_EQ(modbus_read_registers(ctx_, 1000, 24, regs), 24);
    EXPECT_EQ(regs[23], address * 1000 + 1023);
    ASSERT_EQ(modbus_read_input_registers(ctx_, 900, 10, regs), 10);
    for (int k = 0; k < 10; ++k) ASSERT_EQ(regs[k], static_cast<uint16_t>(~(address * 1000 + 900 + k))) << k;

    uint8_t bits[2000];
    ASSERT_EQ(modbus_read_bits(ctx_, 0, 2000, bits), 2000);
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(bits[k], (k + address) % 3 == 0) << k;
    ASSERT_EQ(modbus_read_input_bits(ctx_, 48, 2000, bits), 2000);
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(bits[k], (48 + k + address) % 5 == 0) << k;
  }
}

TEST_F(LibmodbusMaster, WritesAreReadBackOnTheDeviceWritten) {
  modbus_set_slave(ctx_, 6);
  ASSERT_EQ(modbus_write_register(ctx_, 17, 0xBEEF), 1) << modbus_strerror(errno);
  ASSERT_EQ(modbus_write_bit(ctx_, 1, 1), 1);
  ASSERT_EQ(modbus_write_bit(ctx_, 2, 0), 1);
  const uint8_t pattern[11] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 1};
  ASSERT_EQ(modbus_write_bits(ctx_, 2037, 11, pattern), 11);

  uint16_t value = 0;
  ASSERT_EQ(modbus_read_registers(ctx_, 17, 1, &value), 1);
  EXPECT_EQ(value, 0xBEEF);
  uint8_t bits[11];
  ASSERT_EQ(modbus_read_bits(ctx_, 0, 3, bits), 3);
  EXPECT_EQ(bits[0], (0 + 6) % 3 == 0);
  EXPECT_EQ(bits[1], 1);
  EXPECT_EQ(bits[2], 0);
  ASSERT_EQ(modbus_read_bits(ctx_, 2037, 11, bits), 11);
  for (int k = 0; k < 11; ++k) EXPECT_EQ(bits[k], pattern[k]) << k;

  modbus_set_slave(ctx_, 5);  // the other devices keep their pattern
  ASSERT_EQ(modbus_read_registers(ctx_, 17, 1, &value), 1);
  EXPECT_EQ(value, 5017);

  uint8_t id[64];
  const int n = modbus_report_slave_id(ctx_, sizeof id, id);
  ASSERT_EQ(n, 12);
  EXPECT_EQ(id[0], 5);
  EXPECT_EQ(id[1], 0xFF);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id + 2), 10), "modbus-sim");
}

TEST_F(LibmodbusMaster, ErrorsComeAsStandardExceptions) {
  uint16_t regs[126];
  uint8_t bits[2001];
  EXPECT_EQ(modbus_read_registers(ctx_, 1020, 5, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_input_bits(ctx_, 2048, 1, bits), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx_, 1024, 1), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx_, 1023, 1), 1);  // the last one is there
  // Code 16 is not served.
  const uint16_t two[2] = {1, 2};
  EXPECT_EQ(modbus_write_registers(ctx_, 0, 2, two), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  // A bad quantity sent raw (libmodbus refuses to send one itself).
  const uint8_t request[] = {1, 3, 0, 0, 0, 126};
  ASSERT_EQ(modbus_send_raw_request(ctx_, request, sizeof request), 8);
  uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
  EXPECT_EQ(modbus_receive_confirmation(ctx_, answer), 5);
  EXPECT_EQ(answer[1], 0x83);
  EXPECT_EQ(answer[2], 3);

  // Address 0 and addresses not served get no answer at all.
  modbus_set_response_timeout(ctx_, 0, 200000);
  modbus_set_slave(ctx_, 2);
  EXPECT_EQ(modbus_read_registers(ctx_, 0, 1, regs), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  modbus_set_slave(ctx_, 1);
  EXPECT_EQ(modbus_read_registers(ctx_, 0, 1, regs), 1);
}
