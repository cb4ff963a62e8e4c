// The per-user port directory. Every level we own is opened with O_NOFOLLOW
// relative to its parent and checked on the open descriptor (fstat), and all
// later work goes through the descriptor of the checked directory, so nobody
// can swap a level for a symlink between the check and the use.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "PortDirectory.h"
#include "PortDirectoryEntries.h"
#include "PosixTerminalNode.h"

namespace {

class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

private:
  int fd_;
};

struct Location {
  std::string Base;                 // $XDG_RUNTIME_DIR or /tmp: not ours to check
  std::vector<std::string> Levels;  // created and checked by us
  std::string Path() const {
    std::string path = Base;
    for (const auto& level : Levels) path += "/" + level;
    return path;
  }
};

Location PortDirectoryLocation() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // The XDG base directory rules say a relative value is to be ignored.
  if (runtime && runtime[0] == '/') return {runtime, {"modbus-tester", "ports"}};
  return {"/tmp", {"modbus-tester-" + std::to_string(::geteuid()), "ports"}};
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string SystemText(int error) { return std::strerror(error); }

// Opens one level below `parent`, creating it first when asked, and accepts it
// only as a directory of ours that nobody else can write.
Fd OpenLevel(int parent, const std::string& name, const std::string& path, bool create,
             std::string* error) {
  int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create) {
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
      SetError(error, path + ": cannot create: " + SystemText(errno));
      return Fd();
    }
    fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) {
    // The failure's cause for the message only (with O_DIRECTORY a symlink gives ENOTDIR).
    const int e = errno;
    struct stat st{};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      SetError(error, path + ": is a symbolic link");
    else if (e == ENOTDIR)
      SetError(error, path + ": is not a directory");
    else
      SetError(error, path + ": " + SystemText(e));
    return Fd();
  }
  Fd level(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    SetError(error, path + ": " + SystemText(errno));
    return Fd();
  }
  if (st.st_uid != ::geteuid()) {
    SetError(error, path + ": owned by uid " + std::to_string(st.st_uid) + ", not by uid " +
                        std::to_string(::geteuid()));
    return Fd();
  }
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    SetError(error, path + ": writable by group or others");
    return Fd();
  }
  return level;
}

Fd OpenPortDirectory(bool create, std::string* error) {
  const Location where = PortDirectoryLocation();
  Fd current(::open(where.Base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!current.valid()) {
    SetError(error, where.Base + ": " + SystemText(errno));
    return Fd();
  }
  std::string path = where.Base;
  for (const auto& level : where.Levels) {
    path += "/" + level;
    Fd next = OpenLevel(current.get(), level, path, create, error);
    if (!next.valid()) return Fd();
    current = std::move(next);
  }
  return current;
}

// What an entry of the open directory points at: its link text and, when the
// target is a serial line device, that device's canonical path.
struct Entry {
  bool Exists = false;
  bool IsLink = false;
  std::string Target;
  std::optional<std::string> Device;
};

Entry ReadEntry(int dir, const std::string& dirPath, const std::string& name) {
  Entry entry;
  struct stat st{};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return entry;
  entry.Exists = true;
  if (!S_ISLNK(st.st_mode)) return entry;
  char text[4096];
  const ssize_t n = ::readlinkat(dir, name.c_str(), text, sizeof text - 1);
  if (n <= 0) return entry;
  entry.IsLink = true;
  entry.Target.assign(text, static_cast<size_t>(n));
  // The directory is ours and closed to others, so its path still names it.
  const std::string full = entry.Target[0] == '/' ? entry.Target : dirPath + "/" + entry.Target;
  entry.Device = SerialLinePath(full);
  return entry;
}

std::string TemporaryName(int number) {
  static std::atomic<unsigned> counter{0};
  return ".COM" + std::to_string(number) + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter++);
}

// Points COM<number> at `device`, replacing whatever entry is there in one step.
bool ReplaceEntry(int dir, const std::string& name, int number, const std::string& device,
                  std::string* error) {
  const std::string temp = TemporaryName(number);
  if (::symlinkat(device.c_str(), dir, temp.c_str()) != 0) {
    SetError(error, name + ": cannot create link: " + SystemText(errno));
    return false;
  }
  if (::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
    SetError(error, name + ": cannot replace stale entry: " + SystemText(errno));
    ::unlinkat(dir, temp.c_str(), 0);
    return false;
  }
  return true;
}

}  // namespace

std::optional<int> ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 12) return std::nullopt;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  }
  if (name[3] == '0') return std::nullopt;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

std::string ComPortName(int number) { return "COM" + std::to_string(number); }

std::filesystem::path UserPortDirectory() { return PortDirectoryLocation().Path(); }

bool EnsureUserPortDirectory(std::string* error) {
  return OpenPortDirectory(true, error).valid();
}

bool RegisterVirtualPort(int number, const std::string& device, std::string* error) {
  if (number < 1) {
    SetError(error, "COM" + std::to_string(number) + ": not a port number");
    return false;
  }
  const auto wanted = SerialLinePath(device);
  if (!wanted) {
    SetError(error, device + ": not a terminal device");
    return false;
  }
  const Fd dir = OpenPortDirectory(true, error);
  if (!dir.valid()) return false;
  const std::string dirPath = UserPortDirectory().string();
  const std::string name = ComPortName(number);
  // A second registrar may create the name between our look and our link; look again then.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Entry entry = ReadEntry(dir.get(), dirPath, name);
    if (!entry.Exists) {
      if (::symlinkat(wanted->c_str(), dir.get(), name.c_str()) == 0) return true;
      if (errno == EEXIST) continue;
      SetError(error, name + ": cannot create link: " + SystemText(errno));
      return false;
    }
    if (entry.Device) {
      if (*entry.Device == *wanted) return true;
      SetError(error, name + " is registered for " + *entry.Device);
      return false;
    }
    return ReplaceEntry(dir.get(), name, number, *wanted, error);
  }
  SetError(error, name + ": registration keeps changing");
  return false;
}

void UnregisterVirtualPort(int number, const std::string& device) {
  if (number < 1) return;
  const Fd dir = OpenPortDirectory(false, nullptr);
  if (!dir.valid()) return;
  const std::string name = ComPortName(number);
  const Entry entry = ReadEntry(dir.get(), UserPortDirectory().string(), name);
  if (!entry.IsLink) return;
  const auto canonical = SerialLinePath(device);
  const bool ours = entry.Target == device || (canonical && entry.Target == *canonical) ||
                    (canonical && entry.Device == canonical);
  if (ours) ::unlinkat(dir.get(), name.c_str(), 0);
}

std::vector<RegisteredPort> ListRegisteredPorts() {
  std::vector<RegisteredPort> ports;
  const Fd dir = OpenPortDirectory(false, nullptr);
  if (!dir.valid()) return ports;
  const int scan = ::dup(dir.get());
  if (scan < 0) return ports;
  DIR* listing = ::fdopendir(scan);
  if (!listing) {
    ::close(scan);
    return ports;
  }
  const std::string dirPath = UserPortDirectory().string();
  while (const dirent* item = ::readdir(listing)) {
    const std::string name = item->d_name;
    const auto number = ComPortNumber(name);
    if (!number || name != ComPortName(*number)) continue;  // only the exact form COM<n>
    const Entry entry = ReadEntry(dir.get(), dirPath, name);
    if (entry.Device) ports.push_back({*number, *entry.Device});
  }
  ::closedir(listing);
  std::sort(ports.begin(), ports.end(),
            [](const RegisteredPort& a, const RegisteredPort& b) { return a.Number < b.Number; });
  return ports;
}

std::optional<RegisteredPort> FindRegisteredPort(int number) {
  if (number < 1) return std::nullopt;
  const Fd dir = OpenPortDirectory(false, nullptr);
  if (!dir.valid()) return std::nullopt;
  const Entry entry = ReadEntry(dir.get(), UserPortDirectory().string(), ComPortName(number));
  if (!entry.Device) return std::nullopt;
  return RegisteredPort{number, *entry.Device};
}
