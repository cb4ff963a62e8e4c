#include "LineSettingsSeen.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

std::string LineSettingsSeen::Text() const {
  return std::to_string(Baud) + (Odd ? " O" : " N/E") + std::to_string(StopBits);
}

std::optional<LineSettingsSeen> ReadLineSettings(int fd) {
  // termios2 carries the rate as a number, whether set by a Bxxx constant or
  // through the arbitrary-rate interface.
  struct termios2 tio {};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return std::nullopt;
  LineSettingsSeen seen;
  seen.Baud = static_cast<int>(tio.c_ospeed);
  seen.Odd = (tio.c_cflag & PARODD) != 0;
  seen.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
  return seen;
}

bool SameLine(const LineTiming& own, const LineSettingsSeen& seen) {
  return seen.Baud == own.baud && seen.StopBits == own.stopBits && seen.Odd == (own.parity == 'O');
}
