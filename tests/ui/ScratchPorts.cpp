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
  for (auto& [number, pty] : ports_) UnregisterVirtualPort(number, pty->SlavePath());
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
  EXPECT_TRUE(RegisterVirtualPort(number, pty->SlavePath(), &error)) << error;
  ports_.emplace_back(number, std::move(pty));
  return *ports_.back().second;
}

void ScratchPorts::Hold(int number) {
  for (auto& [n, pty] : ports_) {
    if (n != number) continue;
    const int fd = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    held_.push_back(fd);
  }
}
