#include "LibmodbusServer.h"

#include <modbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

LibmodbusServer::LibmodbusServer(int masterFd, int slaveId) {
  // The device name is not used: the context is handed the master descriptor
  // directly, as modbus_connect would have set it.
  ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 2);
  if (ctx_ == nullptr) throw std::runtime_error("modbus_new_rtu failed");
  modbus_set_slave(ctx_, slaveId);
  modbus_set_socket(ctx_, masterFd);
  mapping_ = modbus_mapping_new(kCoils, kDiscreteInputs, kHoldingRegisters, kInputRegisters);
  if (mapping_ == nullptr) throw std::runtime_error("modbus_mapping_new failed");
  for (int i = 0; i < kCoils; ++i) mapping_->tab_bits[i] = InitialCoil(i);
  for (int i = 0; i < kDiscreteInputs; ++i) mapping_->tab_input_bits[i] = InitialDiscreteInput(i);
  for (int i = 0; i < kHoldingRegisters; ++i) mapping_->tab_registers[i] = InitialHoldingRegister(i);
  for (int i = 0; i < kInputRegisters; ++i) mapping_->tab_input_registers[i] = InitialInputRegister(i);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) throw std::runtime_error("eventfd failed");
  thread_ = std::thread([this] { Run(); });
}

LibmodbusServer::~LibmodbusServer() {
  const uint64_t one = 1;
  (void)!::write(wake_, &one, sizeof one);
  thread_.join();
  ::close(wake_);
  modbus_mapping_free(mapping_);
  modbus_free(ctx_);  // does not close the descriptor, which is not ours
}

bool LibmodbusServer::Coil(int i) {
  std::lock_guard lock(mutex_);
  return mapping_->tab_bits[i] != 0;
}

uint16_t LibmodbusServer::HoldingRegister(int i) {
  std::lock_guard lock(mutex_);
  return mapping_->tab_registers[i];
}

int LibmodbusServer::Served() {
  std::lock_guard lock(mutex_);
  return served_;
}

void LibmodbusServer::Run() {
  const int fd = modbus_get_socket(ctx_);
  uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
  for (;;) {
    // Wait here, where a stop can be seen; modbus_receive then reads one frame.
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int rc = ::poll(p, 2, -1);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 || (p[1].revents & POLLIN)) return;
    if (!(p[0].revents & POLLIN)) {
      ::poll(&p[1], 1, 10);  // no port on the other side yet
      if (p[1].revents & POLLIN) return;
      continue;
    }
    const int len = modbus_receive(ctx_, query);
    if (len <= 0) continue;  // another address, a bad CRC, or a broken frame
    std::lock_guard lock(mutex_);
    if (modbus_reply(ctx_, query, len, mapping_) > 0) ++served_;
  }
}
