// The serial component's POSIX backend: only terminals are opened, and the
// terminal gets its own settings back at close.
#include <gtest/gtest.h>
#include <termios.h>

#include "ComPort.h"
#include "MainPortProperties.h"
#include "PtyPair.h"

namespace {
termios SlaveSettings(const PtyPair& pty) {
  termios t{};
  tcgetattr(pty.MasterFd(), &t);  // a master reports its slave's settings
  return t;
}
}  // namespace

TEST(ComPortOpen, OnlyTerminalDevicesAreOpened) {
  for (const char* path : {"/dev/null", "/etc/hostname", "/tmp"}) {
    TComPort port;
    port.SetPort(path);
    EXPECT_THROW(port.Open(), EComPort) << path;
    EXPECT_FALSE(port.Connected()) << path;
  }
}

TEST(ComPortOpen, CloseRestoresTheTerminalSettings) {
  PtyPair pty;
  termios cooked = SlaveSettings(pty);
  cooked.c_lflag |= ICANON | ECHO;
  tcsetattr(pty.MasterFd(), TCSANOW, &cooked);
  TComPort port;
  LoadMainPortProperties(port);
  port.SetPort(pty.SlavePath());
  port.Open();
  EXPECT_EQ(SlaveSettings(pty).c_lflag & (ICANON | ECHO), 0u) << "raw while open";
  port.Close();
  EXPECT_EQ(SlaveSettings(pty).c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}
