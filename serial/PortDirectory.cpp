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
  int release() { return std::exchange(fd_, -1); }

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

// The lock beside an entry, tested without taking it.
enum class LockState { Held, Free, Missing };

std::string LockName(int number) { return ComPortName(number) + ".lock"; }

LockState LockOf(int dir, const std::string& lockName) {
  const Fd lock(::openat(dir, lockName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!lock.valid()) return errno == ENOENT ? LockState::Missing : LockState::Free;
  struct stat st{};
  if (::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode)) return LockState::Free;
  struct flock probe{};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (::fcntl(lock.get(), F_OFD_GETLK, &probe) != 0) return LockState::Free;
  return probe.l_type == F_UNLCK ? LockState::Free : LockState::Held;
}

// A pseudo-terminal only of the user we run as; hardware also of root (a
// device owned by another user is that user's login line).
bool OwnerAllowed(const struct stat& device, bool pty) {
  return device.st_uid == ::geteuid() || (!pty && device.st_uid == 0);
}

// What an entry of the open directory points at and whether it is alive.
struct Entry {
  bool Exists = false;
  std::string Target;                  // the link text
  std::optional<std::string> Device;   // canonical path, when a serial line device
  bool Pty = false;
  bool OwnerAccepted = false;
  LockState Lock = LockState::Missing;

  // A hand-made link to hardware: used without a registrant.
  bool HandMadeHardware() const { return Device && !Pty && Lock == LockState::Missing; }
  bool Usable() const {
    return Device && OwnerAccepted && (Lock == LockState::Held || HandMadeHardware());
  }
};

Entry ReadEntry(int dir, const std::string& dirPath, int number) {
  Entry entry;
  const std::string name = ComPortName(number);
  struct stat st{};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return entry;
  entry.Exists = true;
  entry.Lock = LockOf(dir, LockName(number));
  if (!S_ISLNK(st.st_mode)) return entry;
  char text[4096];
  const ssize_t n = ::readlinkat(dir, name.c_str(), text, sizeof text - 1);
  if (n <= 0) return entry;
  entry.Target.assign(text, static_cast<size_t>(n));
  // The directory is ours and closed to others, so its path still names it.
  const std::string full = entry.Target[0] == '/' ? entry.Target : dirPath + "/" + entry.Target;
  entry.Device = SerialLinePath(full);
  struct stat device{};
  if (!entry.Device || ::stat(entry.Device->c_str(), &device) != 0) {
    entry.Device.reset();
    return entry;
  }
  entry.Pty = IsPtySlaveNode(device);
  entry.OwnerAccepted = OwnerAllowed(device, entry.Pty);
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
    SetError(error, name + ": cannot replace dead entry: " + SystemText(errno));
    ::unlinkat(dir, temp.c_str(), 0);
    return false;
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while the lock file named `lockName` is still the file open on `lock`.
bool StillListed(int dir, const std::string& lockName, int lock) {
  struct stat held{}, listed{};
  return ::fstat(lock, &held) == 0 &&
         ::fstatat(dir, lockName.c_str(), &listed, AT_SYMLINK_NOFOLLOW) == 0 &&
         SameFile(held, listed);
}

// Takes the lock of COM<number>: the descriptor, or -1 with `busy` set when a
// live registrant holds it, or -1 with a reason.
int TakeLock(int dir, int number, bool& busy, std::string* error) {
  const std::string lockName = LockName(number);
  busy = false;
  // A registrant that ends unlinks its lock file while still holding it; who
  // waited on that file then holds a lock nobody else can see. Try again then.
  for (int attempt = 0; attempt < 5; ++attempt) {
    Fd lock(::openat(dir, lockName.c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!lock.valid()) {
      SetError(error, lockName + ": " + SystemText(errno));
      return -1;
    }
    struct stat st{};
    if (::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      SetError(error, lockName + ": not a regular file");
      return -1;
    }
    struct flock take{};
    take.l_type = F_WRLCK;
    take.l_whence = SEEK_SET;
    if (::fcntl(lock.get(), F_OFD_SETLK, &take) != 0) {
      busy = errno == EAGAIN || errno == EACCES;
      SetError(error, lockName + ": " + SystemText(errno));
      return -1;
    }
    if (!StillListed(dir, lockName, lock.get())) continue;
    // For people looking: who holds it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock.get(), 0) == 0) {
      [[maybe_unused]] const ssize_t n = ::pwrite(lock.get(), pid.data(), pid.size(), 0);
    }
    return lock.release();
  }
  SetError(error, lockName + ": keeps being replaced");
  return -1;
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

PortRegistration::PortRegistration(int directory, int lock, int number, std::string device)
    : directory_(directory), lock_(lock), number_(number), device_(std::move(device)) {}

PortRegistration::PortRegistration(PortRegistration&& other) noexcept
    : directory_(std::exchange(other.directory_, -1)),
      lock_(std::exchange(other.lock_, -1)),
      number_(other.number_),
      device_(std::move(other.device_)) {}

PortRegistration& PortRegistration::operator=(PortRegistration&& other) noexcept {
  if (this != &other) {
    Remove();
    directory_ = std::exchange(other.directory_, -1);
    lock_ = std::exchange(other.lock_, -1);
    number_ = other.number_;
    device_ = std::move(other.device_);
  }
  return *this;
}

PortRegistration::~PortRegistration() { Remove(); }

void PortRegistration::Remove() {
  if (lock_ < 0) return;
  // The entry only while it is still ours, then the lock file while we hold it.
  const std::string name = ComPortName(number_), lockName = LockName(number_);
  char text[4096];
  const ssize_t n = ::readlinkat(directory_, name.c_str(), text, sizeof text);
  if (n > 0 && std::string(text, static_cast<size_t>(n)) == device_)
    ::unlinkat(directory_, name.c_str(), 0);
  if (StillListed(directory_, lockName, lock_)) ::unlinkat(directory_, lockName.c_str(), 0);
  ::close(lock_);
  ::close(directory_);
  lock_ = directory_ = -1;
}

std::optional<PortRegistration> RegisterVirtualPort(int number, const std::string& device,
                                                    std::string* error) {
  if (number < 1) {
    SetError(error, "COM" + std::to_string(number) + ": not a port number");
    return std::nullopt;
  }
  const auto wanted = SerialLinePath(device);
  struct stat st{};
  if (!wanted || ::stat(wanted->c_str(), &st) != 0) {
    SetError(error, device + ": not a terminal device");
    return std::nullopt;
  }
  if (!OwnerAllowed(st, IsPtySlaveNode(st))) {
    SetError(error, *wanted + ": a terminal of uid " + std::to_string(st.st_uid));
    return std::nullopt;
  }
  Fd dir = OpenPortDirectory(true, error);
  if (!dir.valid()) return std::nullopt;
  const std::string dirPath = UserPortDirectory().string();
  const std::string name = ComPortName(number);
  const Entry before = ReadEntry(dir.get(), dirPath, number);
  if (before.HandMadeHardware() && before.Usable()) {
    SetError(error, name + " is a link to " + *before.Device + " made by hand");
    return std::nullopt;
  }
  bool busy = false;
  Fd lock(TakeLock(dir.get(), number, busy, error));
  if (!lock.valid()) {
    if (busy) {
      const Entry live = ReadEntry(dir.get(), dirPath, number);
      SetError(error, name + " is registered for " + (live.Device ? *live.Device : live.Target) +
                          " by a running program");
    }
    return std::nullopt;
  }
  // The lock is ours: whatever entry is there was left by a program that is gone.
  if (!ReplaceEntry(dir.get(), name, number, *wanted, error)) {
    ::unlinkat(dir.get(), LockName(number).c_str(), 0);
    return std::nullopt;
  }
  return PortRegistration(dir.release(), lock.release(), number, *wanted);
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
    const Entry entry = ReadEntry(dir.get(), dirPath, *number);
    if (entry.Usable()) ports.push_back({*number, *entry.Device});
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
  const Entry entry = ReadEntry(dir.get(), UserPortDirectory().string(), number);
  if (!entry.Usable()) return std::nullopt;
  return RegisteredPort{number, *entry.Device};
}
