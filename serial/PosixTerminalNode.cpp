#include "PosixTerminalNode.h"

#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {
// Used only where /proc is not mounted: pseudo-terminal slaves, 8250 UARTs,
// USB serial adapters, USB CDC ACM, low-density serial (ttyAMA and others).
const std::vector<TtyDriverRange> kFallbackRanges = {
    {136, 0, 1048575, true}, {4, 64, 255}, {188, 0, 511}, {166, 0, 255}, {204, 0, 255}};

bool ParseRange(const std::string& text, TtyDriverRange& range) {
  unsigned first = 0, last = 0;
  char dash = 0;
  std::istringstream in(text);
  if (!(in >> first)) return false;
  if (in >> dash) {
    if (dash != '-' || !(in >> last)) return false;
  } else {
    last = first;
  }
  range.FirstMinor = first;
  range.LastMinor = last;
  return first <= last;
}

std::vector<TtyDriverRange> CurrentRanges() {
  std::ifstream in("/proc/tty/drivers");
  if (!in) return kFallbackRanges;
  std::stringstream text;
  text << in.rdbuf();
  return SerialLineRanges(text.str());
}
}  // namespace

std::vector<TtyDriverRange> SerialLineRanges(const std::string& procTtyDrivers) {
  // Each line: driver name, default node, major, minor or minor range, type.
  std::vector<TtyDriverRange> ranges;
  std::istringstream lines(procTtyDrivers);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, node, minors, type;
    unsigned major = 0;
    if (!(fields >> name >> node >> major >> minors >> type)) continue;
    if (type != "serial" && type != "pty:slave") continue;
    TtyDriverRange range;
    range.Major = major;
    range.PtySlave = type == "pty:slave";
    if (ParseRange(minors, range)) ranges.push_back(range);
  }
  return ranges;
}

namespace {
const TtyDriverRange* RangeOf(const struct stat& st, const std::vector<TtyDriverRange>& ranges) {
  if (!S_ISCHR(st.st_mode)) return nullptr;
  const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
  for (const TtyDriverRange& r : ranges) {
    if (r.Major == major && minor >= r.FirstMinor && minor <= r.LastMinor) return &r;
  }
  return nullptr;
}
}  // namespace

bool IsSerialLineNode(const struct stat& st) { return RangeOf(st, CurrentRanges()) != nullptr; }

bool IsPtySlaveNode(const struct stat& st) {
  const auto ranges = CurrentRanges();
  const TtyDriverRange* range = RangeOf(st, ranges);
  return range && range->PtySlave;
}

std::optional<std::string> SerialLinePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return std::nullopt;
  struct stat st{};
  if (::stat(resolved, &st) != 0 || !IsSerialLineNode(st)) return std::nullopt;
  return std::string(resolved);
}
