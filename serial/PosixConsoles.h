// The terminals the kernel writes its console to (/proc/consoles, and the
// names in /sys/class/tty/console/active): a serial port that is the system
// console carries kernel messages and a login, never a field bus.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The device numbers listed in a text laid out like /proc/consoles
// ("ttyS0 -W- (EC p a) 4:64").
std::vector<dev_t> ConsoleDevicesIn(const std::string& procConsoles);

// True when `rdev` is a system console of this machine.
bool IsSystemConsole(dev_t rdev);
