#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "PortDirectory.h"
#include "RegisteredPty.h"

struct RegisteredPty::Registration {
  std::filesystem::path root;
  std::optional<std::string> saved;
  std::optional<PortRegistration> port;
};

RegisteredPty::RegisteredPty(int number)
    : number_(number), registration_(std::make_unique<Registration>()) {
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) registration_->saved = old;
  char pattern[] = "/tmp/modbus-link-test-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  registration_->root = pattern;
  ::setenv("XDG_RUNTIME_DIR", pattern, 1);
  std::string error;
  registration_->port = RegisterVirtualPort(number_, pty.SlavePath(), &error);
  if (!registration_->port) throw std::runtime_error("cannot register the pty: " + error);
  pty.ReleaseSlave();  // only the port under test holds the slave
}

RegisteredPty::~RegisteredPty() {
  registration_->port.reset();
  std::error_code ignored;
  std::filesystem::remove_all(registration_->root, ignored);
  if (registration_->saved)
    ::setenv("XDG_RUNTIME_DIR", registration_->saved->c_str(), 1);
  else
    ::unsetenv("XDG_RUNTIME_DIR");
}
