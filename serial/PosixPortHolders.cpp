#include "PosixPortHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>

#include "PosixConsoles.h"
#include "PosixTerminalNode.h"

namespace {

std::mutex lockDirectoriesMutex;
std::vector<std::string> lockDirectories;  // empty: the system's

// ---- UUCP lock files ----

std::optional<long> DigitsOnly(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The process id a lock file holds: ASCII ("%10d\n") or a binary int.
std::optional<pid_t> LockOwner(const std::string& content) {
  const bool ascii = content.find_first_not_of(" \t\n0123456789") == std::string::npos;
  if (!ascii && content.size() == sizeof(int)) {
    int binary = 0;
    std::memcpy(&binary, content.data(), sizeof binary);
    return binary;
  }
  const auto first = content.find_first_not_of(" \t\n");
  if (!ascii || first == std::string::npos) return std::nullopt;
  const auto end = content.find_first_of(" \t\n", first);
  const auto value = DigitsOnly(content.substr(first, end - first));
  if (!value) return std::nullopt;
  return static_cast<pid_t>(*value);
}

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// The holder a lock file names when that is a live process other than ours
// (its pid; 0 for a lock that exists but cannot be read, which is taken as
// held: we cannot show it stale).
std::optional<pid_t> LockFileHolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ENOENT ? std::optional<pid_t>(0) : std::nullopt;
  char buffer[64];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n < 0) return 0;
  const auto pid = LockOwner(std::string(buffer, static_cast<size_t>(n)));
  if (pid && *pid > 0 && *pid != ::getpid() && ProcessExists(*pid)) return *pid;
  return std::nullopt;
}

// LCK..ttyUSB0 for /dev/ttyUSB0; LCK..5 and LCK..pts_5 for /dev/pts/5.
std::vector<std::string> LockNames(const std::string& path) {
  std::vector<std::string> names;
  auto add = [&names](std::string name) {
    if (name.empty()) return;
    name = "LCK.." + name;
    for (const auto& known : names)
      if (known == name) return;
    names.push_back(name);
  };
  std::vector<std::string> paths{path};
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) && path != resolved) paths.emplace_back(resolved);
  for (const std::string& p : paths) {
    add(p.substr(p.rfind('/') + 1));
    if (p.rfind("/dev/", 0) == 0) {
      std::string below = p.substr(5);
      for (char& c : below)
        if (c == '/') c = '_';
      add(below);
    }
  }
  return names;
}

std::optional<pid_t> UucpLockHolder(const std::string& path) {
  for (const std::string& dir : PortLockDirectories())
    for (const std::string& name : LockNames(path))
      if (const auto pid = LockFileHolder(dir + "/" + name)) return pid;
  return std::nullopt;
}

// The program's name as the kernel keeps it ("minicom"); empty when hidden.
std::string ProgramName(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// ---- Processes with the device open ----

constexpr unsigned kFirstPtySlaveMajor = 136;

struct Device {
  dev_t rdev = 0;
  dev_t filesystem = 0;  // which devpts instance, for a pseudo-terminal
  bool pty = false;
  unsigned long index = 0;  // the pseudo-terminal's number
};

std::optional<unsigned long> TtyIndex(const std::string& fdinfo) {
  std::ifstream in(fdinfo);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("tty-index:", 0) != 0) continue;
    return std::strtoul(line.c_str() + 10, nullptr, 10);
  }
  return std::nullopt;
}

bool IsPtyMasterLink(const std::string& link) {
  return link == "/dev/ptmx" || (link.size() > 5 && link.compare(link.size() - 5, 5, "/ptmx") == 0);
}

// Whether process `pid` has the device open, not counting the far end of a
// pseudo-terminal. False when its descriptors cannot be read.
bool ProcessHolds(const std::string& pid, const Device& device) {
  const std::string base = "/proc/" + pid;
  const int fdDir = ::open((base + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) return false;
  DIR* listing = ::fdopendir(fdDir);
  if (!listing) {
    ::close(fdDir);
    return false;
  }
  bool holds = false;
  std::vector<std::string> masters;
  while (const dirent* item = ::readdir(listing)) {
    if (item->d_name[0] == '.') continue;
    char text[PATH_MAX];
    const ssize_t n = ::readlinkat(fdDir, item->d_name, text, sizeof text - 1);
    if (n <= 0) continue;
    const std::string link(text, static_cast<size_t>(n));
    if (IsPtyMasterLink(link)) {
      masters.emplace_back(item->d_name);
      continue;
    }
    // Device nodes only: a stat of any other file may wait on a remote file system.
    if (link.rfind("/dev/", 0) != 0) continue;
    struct stat st{};
    if (::fstatat(fdDir, item->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode)) continue;
    if (st.st_rdev == device.rdev && (!device.pty || st.st_dev == device.filesystem)) holds = true;
  }
  ::closedir(listing);
  if (!holds || !device.pty) return holds;
  for (const std::string& fd : masters) {
    const auto index = TtyIndex(base + "/fdinfo/" + fd);
    if (!index || *index == device.index) return false;  // the far end of the line
  }
  return true;
}

// The first other process seen with the device open.
std::optional<pid_t> OpenInAnotherProcess(const Device& device) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return std::nullopt;
  const std::string self = std::to_string(::getpid());
  std::optional<pid_t> holder;
  while (const dirent* item = ::readdir(proc)) {
    const std::string pid = item->d_name;
    if (!DigitsOnly(pid) || pid == self) continue;
    if (ProcessHolds(pid, device)) {
      holder = static_cast<pid_t>(std::stol(pid));
      break;
    }
  }
  ::closedir(proc);
  return holder;
}

PortUser Named(pid_t pid) {
  PortUser user;
  user.Pid = pid;
  if (pid > 0) user.Program = ProgramName(pid);
  return user;
}

}  // namespace

std::vector<std::string> PortLockDirectories() {
  std::lock_guard<std::mutex> guard(lockDirectoriesMutex);
  if (lockDirectories.empty()) return {"/var/lock", "/run/lock"};
  return lockDirectories;
}

void SetPortLockDirectories(std::vector<std::string> directories) {
  std::lock_guard<std::mutex> guard(lockDirectoriesMutex);
  lockDirectories = std::move(directories);
}

std::optional<PortUser> FindPortHolder(const struct stat& st, const std::string& path) {
  if (!S_ISCHR(st.st_mode)) return std::nullopt;
  if (IsSystemConsole(st.st_rdev)) {
    PortUser console;
    console.SystemConsole = true;
    return console;
  }
  if (const auto pid = UucpLockHolder(path)) return Named(*pid);
  Device device;
  device.rdev = st.st_rdev;
  device.filesystem = st.st_dev;
  device.pty = IsPtySlaveNode(st);
  // Slave n is the kernel's first slave device number plus n, in its own
  // layout of 20 minor bits.
  if (device.pty)
    device.index = ((static_cast<unsigned long>(::major(st.st_rdev)) - kFirstPtySlaveMajor) << 20) |
                   ::minor(st.st_rdev);
  if (const auto pid = OpenInAnotherProcess(device)) return Named(*pid);
  return std::nullopt;
}

bool PortHeldByAnotherProgram(int fd, const std::string& path) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) return false;
  return FindPortHolder(st, path).has_value();
}
