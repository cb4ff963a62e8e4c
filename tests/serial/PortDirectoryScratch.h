// A private runtime directory for port-table tests: XDG_RUNTIME_DIR points at
// a fresh temporary directory for the life of the object, so tests never meet
// the ports of the machine's user or of other tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

class ScratchRuntimeDir {
public:
  ScratchRuntimeDir() {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    char pattern[] = "/tmp/porttable-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
  }
  ~ScratchRuntimeDir() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    if (saved_)
      ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }
  ScratchRuntimeDir(const ScratchRuntimeDir&) = delete;
  ScratchRuntimeDir& operator=(const ScratchRuntimeDir&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path Parent() const { return root_ / "modbus-tester"; }
  std::filesystem::path Ports() const { return Parent() / "ports"; }

  // A hand-made entry, as a user (or a dead program) may leave one.
  void Link(const std::string& name, const std::string& target) const {
    std::filesystem::create_symlink(target, Ports() / name);
  }

private:
  std::filesystem::path root_;
  std::optional<std::string> saved_;
};
