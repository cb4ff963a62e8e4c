#include "ScratchPorts.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "PortDirectory.h"

ScratchPorts::ScratchPorts() {
  char pattern[] = "/tmp/ui-ports-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  EXPECT_NE(dir, nullptr);
  runtimeDir_ = dir ? dir : "";
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
    hadRuntimeDir_ = true;
    oldRuntimeDir_ = old;
  }
  ::setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
  std::string error;
  EXPECT_TRUE(EnsureUserPortDirectory(&error)) << error;
}

ScratchPorts::~ScratchPorts() {
  for (int fd : held_) ::close(fd);
  holders_.clear();
  ports_.clear();
  if (hadRuntimeDir_) {
    ::setenv("XDG_RUNTIME_DIR", oldRuntimeDir_.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
  std::error_code ignored;
  std::filesystem::remove_all(runtimeDir_, ignored);
}

PtyPair& ScratchPorts::Add(int number) {
  auto pty = std::make_unique<PtyPair>();
  pty->ReleaseSlave();
  std::string error;
  auto registration = RegisterVirtualPort(number, pty->SlavePath(), &error);
  EXPECT_TRUE(registration) << error;
  ports_.push_back({number, std::move(pty), std::move(registration)});
  return *ports_.back().pty;
}

void ScratchPorts::Remove(int number) {
  for (auto& port : ports_)
    if (port.number == number) port.registration.reset();
}

void ScratchPorts::Hold(int number) {
  for (auto& port : ports_) {
    if (port.number != number) continue;
    const int fd = ::open(port.pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    held_.push_back(fd);
  }
}

void ScratchPorts::HoldWithoutLock(int number) {
  for (auto& port : ports_)
    if (port.number == number) {
      holders_.push_back(std::make_unique<ChildProcess>(KeepOpen(port.pty->SlavePath())));
      EXPECT_EQ(holders_.back()->Report(), "open");
    }
}
