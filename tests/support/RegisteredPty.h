// A pseudo-terminal registered as COM<n> in a private per-user port
// directory: XDG_RUNTIME_DIR points at a fresh temporary directory for the
// life of the object (child processes inherit it), so the port is opened by
// its COM name like any other.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "PortDirectory.h"
#include "PtyPair.h"

class RegisteredPty {
public:
  explicit RegisteredPty(int number = 7) : number_(number) {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    char pattern[] = "/tmp/modbus-link-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
    std::string error;
    registration_ = RegisterVirtualPort(number_, pty.SlavePath(), &error);
    if (!registration_) throw std::runtime_error("cannot register the pty: " + error);
    pty.ReleaseSlave();  // only the port under test holds the slave
  }
  ~RegisteredPty() {
    registration_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    if (saved_)
      ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }
  RegisteredPty(const RegisteredPty&) = delete;
  RegisteredPty& operator=(const RegisteredPty&) = delete;

  std::string Name() const { return "COM" + std::to_string(number_); }

  PtyPair pty;

private:
  int number_;
  std::optional<PortRegistration> registration_;
  std::filesystem::path root_;
  std::optional<std::string> saved_;
};
