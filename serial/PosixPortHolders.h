// Other programs that use a terminal device, as far as the system lets us see
// them. The component's own lock (flock) keeps out programs that ask for it;
// these are the signs left by those that do not:
//  - UUCP lock files, as terminal programs leave them in /var/lock and
//    /run/lock: LCK..<name> for the device's name (ttyUSB0) and for its path
//    below /dev with '/' as '_' (pts_5), holding the holder's process id in
//    ASCII or, from old programs, as a binary int. A lock whose process no
//    longer exists is stale and ignored; so is one naming this process.
//  - Processes with the device open, seen in /proc/<pid>/fd (every process
//    when we run as root, otherwise those of our own user): a descriptor of
//    the same device (st_rdev; for a pseudo-terminal also the same devpts
//    instance, st_dev). This process is never a holder. Nor is the far end
//    of a pseudo-terminal: a process that also holds the terminal's master
//    (a /dev/ptmx descriptor whose /proc/<pid>/fdinfo says "tty-index: <n>",
//    n the slave's number) is the device side of the line, as the device
//    simulator, which keeps its slave open so that the line never hangs up.
//    A kernel that does not show tty-index gets the benefit of the doubt for
//    any process with a master open.
//  - The system console (PosixConsoles.h), which the kernel holds.
// A holder that is another user's process and leaves no lock file is seen
// only by root.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "PortTable.h"

// The directories searched for lock files (default /var/lock, /run/lock).
std::vector<std::string> PortLockDirectories();
// Points the search elsewhere (tests use a scratch directory); empty restores the default.
void SetPortLockDirectories(std::vector<std::string> directories);

// Who, other than this process, is seen using the terminal device `st`
// (reached by `path`); nullopt when nobody is seen.
std::optional<PortUser> FindPortHolder(const struct stat& st, const std::string& path);
// The same for the device open on `fd`.
bool PortHeldByAnotherProgram(int fd, const std::string& path);
