// A pseudo-terminal registered as COM<n>, so the port is opened by its COM
// name like any other. On Linux it is linked in a private per-user port
// directory: XDG_RUNTIME_DIR points at a fresh temporary directory for the
// life of the object (child processes inherit it). Under Wine the line host
// links it into the prefix as COM<n>.
#pragma once

#include <memory>
#include <string>

#include "PtyPair.h"

class RegisteredPty {
public:
  explicit RegisteredPty(int number = 7);
  ~RegisteredPty();
  RegisteredPty(const RegisteredPty&) = delete;
  RegisteredPty& operator=(const RegisteredPty&) = delete;

  std::string Name() const { return "COM" + std::to_string(number_); }

  PtyPair pty;

private:
  struct Registration;
  int number_;
  std::unique_ptr<Registration> registration_;
};
