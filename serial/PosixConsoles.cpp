#include "PosixConsoles.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// "4:64" → the device number.
bool ParseDeviceNumber(const std::string& text, dev_t& rdev) {
  unsigned major = 0, minor = 0;
  char colon = 0;
  std::istringstream in(text);
  if (!(in >> major >> colon >> minor) || colon != ':') return false;
  rdev = ::makedev(major, minor);
  return true;
}

// The consoles named in /sys/class/tty/console/active ("tty0 ttyS0"), by
// the device number each name's sysfs entry gives.
std::vector<dev_t> ActiveConsoleDevices() {
  std::vector<dev_t> devices;
  std::istringstream names(ReadAll("/sys/class/tty/console/active"));
  for (std::string name; names >> name;) {
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos) continue;
    dev_t rdev = 0;
    if (ParseDeviceNumber(ReadAll("/sys/class/tty/" + name + "/dev"), rdev)) devices.push_back(rdev);
  }
  return devices;
}
}  // namespace

std::vector<dev_t> ConsoleDevicesIn(const std::string& procConsoles) {
  std::vector<dev_t> devices;
  std::istringstream lines(procConsoles);
  for (std::string line; std::getline(lines, line);) {
    const auto end = line.find_last_not_of(" \t");
    if (end == std::string::npos) continue;
    const auto start = line.find_last_of(" \t", end);
    dev_t rdev = 0;
    if (ParseDeviceNumber(line.substr(start == std::string::npos ? 0 : start + 1), rdev))
      devices.push_back(rdev);
  }
  return devices;
}

bool IsSystemConsole(dev_t rdev) {
  const std::vector<dev_t> listed = ConsoleDevicesIn(ReadAll("/proc/consoles"));
  if (std::find(listed.begin(), listed.end(), rdev) != listed.end()) return true;
  const std::vector<dev_t> active = ActiveConsoleDevices();
  return std::find(active.begin(), active.end(), rdev) != active.end();
}
