#include "LibmodbusServer.h"

#include <modbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <thread>

struct LibmodbusServer::Impl {
  modbus_t* ctx = nullptr;
  modbus_mapping_t* mapping = nullptr;
  int wake = -1;
  int served = 0;
  std::mutex mutex;
  std::thread thread;

  void Run();
};

LibmodbusServer::LibmodbusServer(PtyPair& line, int slaveId) : d_(std::make_unique<Impl>()) {
  // The device name is not used: the context is handed the master descriptor
  // directly, as modbus_connect would have set it.
  d_->ctx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 2);
  if (d_->ctx == nullptr) throw std::runtime_error("modbus_new_rtu failed");
  modbus_set_slave(d_->ctx, slaveId);
  modbus_set_socket(d_->ctx, line.MasterFd());
  d_->mapping = modbus_mapping_new(kCoils, kDiscreteInputs, kHoldingRegisters, kInputRegisters);
  if (d_->mapping == nullptr) throw std::runtime_error("modbus_mapping_new failed");
  for (int i = 0; i < kCoils; ++i) d_->mapping->tab_bits[i] = InitialCoil(i);
  for (int i = 0; i < kDiscreteInputs; ++i) d_->mapping->tab_input_bits[i] = InitialDiscreteInput(i);
  for (int i = 0; i < kHoldingRegisters; ++i) d_->mapping->tab_registers[i] = InitialHoldingRegister(i);
  for (int i = 0; i < kInputRegisters; ++i) d_->mapping->tab_input_registers[i] = InitialInputRegister(i);
  d_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (d_->wake < 0) throw std::runtime_error("eventfd failed");
  d_->thread = std::thread([this] { d_->Run(); });
}

LibmodbusServer::~LibmodbusServer() {
  const uint64_t one = 1;
  (void)!::write(d_->wake, &one, sizeof one);
  d_->thread.join();
  ::close(d_->wake);
  modbus_mapping_free(d_->mapping);
  modbus_free(d_->ctx);  // does not close the descriptor, which is not ours
}

bool LibmodbusServer::Coil(int i) {
  std::lock_guard lock(d_->mutex);
  return d_->mapping->tab_bits[i] != 0;
}

uint16_t LibmodbusServer::HoldingRegister(int i) {
  std::lock_guard lock(d_->mutex);
  return d_->mapping->tab_registers[i];
}

int LibmodbusServer::Served() {
  std::lock_guard lock(d_->mutex);
  return d_->served;
}

void LibmodbusServer::Impl::Run() {
  const int fd = modbus_get_socket(ctx);
  uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
  for (;;) {
    // Wait here, where a stop can be seen; modbus_receive then reads one frame.
    pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    const int rc = ::poll(p, 2, -1);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 || (p[1].revents & POLLIN)) return;
    if (!(p[0].revents & POLLIN)) {
      ::poll(&p[1], 1, 10);  // no port on the other side yet
      if (p[1].revents & POLLIN) return;
      continue;
    }
    const int len = modbus_receive(ctx, query);
    if (len <= 0) continue;  // another address, a bad CRC, or a broken frame
    std::lock_guard lock(mutex);
    if (modbus_reply(ctx, query, len, mapping) > 0) ++served;
  }
}
