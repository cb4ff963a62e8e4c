// The per-user port directory: where it is, when it is refused, and how
// programs register and unregister their terminals in it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

#include "PortDirectory.h"
#include "PortDirectoryEntries.h"
#include "PortDirectoryScratch.h"
#include "PtyPair.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const fs::path& path) {
  struct stat st{};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::string LinkTarget(const fs::path& path) {
  std::error_code ec;
  return fs::read_symlink(path, ec).string();
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : "";
}

// A device path that can never exist: beyond the pseudo-terminal minor range.
const char* kDeadPty = "/dev/pts/4000000";

}  // namespace

TEST(PortDirectory, LocationFollowsXdgRuntimeDirOrFallsBackToTmp) {
  ScratchRuntimeDir scratch;
  EXPECT_EQ(UserPortDirectory(), scratch.Root() / "modbus-tester" / "ports");

  const fs::path fallback = "/tmp/modbus-tester-" + std::to_string(::geteuid()) + "/ports";
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(UserPortDirectory(), fallback);
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(UserPortDirectory(), fallback);
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(UserPortDirectory(), fallback);

  // Under the shared /tmp the per-user level is ours and private too.
  std::string error;
  ASSERT_TRUE(EnsureUserPortDirectory(&error)) << error;
  struct stat st{};
  ASSERT_EQ(::lstat(fallback.parent_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u);
}

TEST(PortDirectory, EnsureCreatesPrivateLevelsAndAcceptsThemAgain) {
  ScratchRuntimeDir scratch;
  ::umask(0);  // the levels must come out private whatever the umask allows
  std::string error;
  ASSERT_TRUE(EnsureUserPortDirectory(&error)) << error;
  ::umask(022);
  EXPECT_EQ(ModeOf(scratch.Parent()), 0700u);
  EXPECT_EQ(ModeOf(scratch.Ports()), 0700u);
  EXPECT_TRUE(EnsureUserPortDirectory(&error)) << error;

  // Readable by others is fine; writable is not.
  fs::permissions(scratch.Ports(), fs::perms(0755));
  EXPECT_TRUE(EnsureUserPortDirectory(&error)) << error;
}

TEST(PortDirectory, EnsureRefusesUnsafeLevels) {
  std::string error;
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    fs::permissions(scratch.Ports(), fs::perms(0777));
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("writable by group or others"), std::string::npos) << error;
    fs::permissions(scratch.Ports(), fs::perms(0720));
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "group-writable accepted";
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    fs::permissions(scratch.Parent(), fs::perms(0777));
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "unsafe parent accepted";
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    ASSERT_EQ(::chown(scratch.Ports().c_str(), 12345, 12345), 0);
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("owned by uid 12345"), std::string::npos) << error;
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    ASSERT_EQ(::chown(scratch.Parent().c_str(), 12345, 12345), 0);
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "foreign parent accepted";
  }
  {
    // A symlink in place of a level, even to a directory of ours that is safe.
    ScratchRuntimeDir scratch;
    fs::create_directory(scratch.Root() / "elsewhere");
    fs::permissions(scratch.Root() / "elsewhere", fs::perms(0700));
    fs::create_directory(scratch.Parent());
    fs::permissions(scratch.Parent(), fs::perms(0700));
    fs::create_directory_symlink(scratch.Root() / "elsewhere", scratch.Ports());
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  }
  {
    ScratchRuntimeDir scratch;
    fs::create_directory_symlink(scratch.Root(), scratch.Parent());
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "symlinked parent accepted";
  }
  {
    ScratchRuntimeDir scratch;
    std::ofstream(scratch.Parent()) << "not a directory";
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
  }
  {
    // A missing runtime directory is not ours to create.
    ScratchRuntimeDir scratch;
    ::setenv("XDG_RUNTIME_DIR", (scratch.Root() / "gone").c_str(), 1);
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_FALSE(fs::exists(scratch.Root() / "gone"));
  }
}

TEST(PortDirectory, RegisterLinksTerminalAndRefusesLiveName) {
  ScratchRuntimeDir scratch;
  PtyPair first, second;
  std::string error;
  ASSERT_TRUE(RegisterVirtualPort(7, first.SlavePath(), &error)) << error;
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM7"), Canonical(first.SlavePath()));

  // The same device again is no conflict; another device on a live name is.
  EXPECT_TRUE(RegisterVirtualPort(7, first.SlavePath(), &error)) << error;
  EXPECT_FALSE(RegisterVirtualPort(7, second.SlavePath(), &error));
  EXPECT_NE(error.find("COM7 is registered for " + Canonical(first.SlavePath())),
            std::string::npos)
      << error;
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM7"), Canonical(first.SlavePath()));

  ASSERT_TRUE(RegisterVirtualPort(12, second.SlavePath(), &error)) << error;
  const auto listed = ListRegisteredPorts();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].Number, 7);
  EXPECT_EQ(listed[1].Number, 12);
  EXPECT_EQ(listed[1].Device, Canonical(second.SlavePath()));
}

TEST(PortDirectory, RegisterReplacesStaleEntries) {
  ScratchRuntimeDir scratch;
  PtyPair pty;
  const std::string device = Canonical(pty.SlavePath());
  ASSERT_TRUE(EnsureUserPortDirectory());
  std::ofstream(scratch.Root() / "plain") << "x";
  scratch.Link("COM1", kDeadPty);                         // a program died with its terminal
  scratch.Link("COM2", "/dev/null");                      // no terminal
  scratch.Link("COM3", (scratch.Root() / "plain").string());  // a regular file
  std::ofstream(scratch.Ports() / "COM4") << "not a link";

  for (int n = 1; n <= 4; ++n) {
    std::string error;
    EXPECT_TRUE(RegisterVirtualPort(n, pty.SlavePath(), &error)) << "COM" << n << ": " << error;
    EXPECT_EQ(LinkTarget(scratch.Ports() / ("COM" + std::to_string(n))), device) << n;
  }
  EXPECT_TRUE(fs::exists(scratch.Root() / "plain")) << "replacing must not touch the old target";
  // Nothing left behind from the replacement.
  int entries = 0;
  for (const auto& item : fs::directory_iterator(scratch.Ports())) {
    EXPECT_EQ(item.path().filename().string().rfind("COM", 0), 0u) << item.path();
    ++entries;
  }
  EXPECT_EQ(entries, 4);

  // A directory in the way is not replaced, and the failure says so.
  fs::create_directory(scratch.Ports() / "COM5");
  std::string error;
  EXPECT_FALSE(RegisterVirtualPort(5, pty.SlavePath(), &error));
  EXPECT_FALSE(error.empty());
}

TEST(PortDirectory, RegisterRefusesWhatIsNoTerminalOrNoPortNumber) {
  ScratchRuntimeDir scratch;
  std::ofstream(scratch.Root() / "plain") << "x";
  PtyPair pty;
  std::string error;
  EXPECT_FALSE(RegisterVirtualPort(3, "/dev/null", &error));
  EXPECT_NE(error.find("not a terminal device"), std::string::npos) << error;
  EXPECT_FALSE(RegisterVirtualPort(3, (scratch.Root() / "plain").string()));
  EXPECT_FALSE(RegisterVirtualPort(3, kDeadPty));
  EXPECT_FALSE(RegisterVirtualPort(0, pty.SlavePath()));
  EXPECT_FALSE(RegisterVirtualPort(-2, pty.SlavePath()));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM3"));

  // An unsafe directory takes no registration.
  ASSERT_TRUE(EnsureUserPortDirectory());
  fs::permissions(scratch.Ports(), fs::perms(0777));
  EXPECT_FALSE(RegisterVirtualPort(3, pty.SlavePath(), &error));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM3"));
}

TEST(PortDirectory, UnregisterRemovesOnlyItsOwnEntry) {
  ScratchRuntimeDir scratch;
  PtyPair mine, other;
  ASSERT_TRUE(RegisterVirtualPort(4, mine.SlavePath()));
  UnregisterVirtualPort(4, other.SlavePath());
  EXPECT_TRUE(fs::is_symlink(scratch.Ports() / "COM4"));
  UnregisterVirtualPort(5, mine.SlavePath());
  EXPECT_TRUE(fs::is_symlink(scratch.Ports() / "COM4"));
  UnregisterVirtualPort(4, mine.SlavePath());
  EXPECT_FALSE(fs::is_symlink(scratch.Ports() / "COM4"));

  // After the terminal is gone its path still identifies the entry.
  scratch.Link("COM6", kDeadPty);
  UnregisterVirtualPort(6, kDeadPty);
  EXPECT_FALSE(fs::is_symlink(scratch.Ports() / "COM6"));
  // A plain file of that name is not a registration of ours.
  std::ofstream(scratch.Ports() / "COM8") << kDeadPty;
  UnregisterVirtualPort(8, kDeadPty);
  EXPECT_TRUE(fs::exists(scratch.Ports() / "COM8"));
}

TEST(PortDirectory, ComNamesAreMatchedInAnyCaseWithoutLeadingZeros) {
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("com10"), 10);
  EXPECT_EQ(ComPortNumber("CoM100"), 100);
  EXPECT_EQ(ComPortNumber("COM123456789"), 123456789);
  for (const char* bad : {"COM", "COM0", "COM07", "COM1a", "COM-1", "CON1", "xCOM1", " COM1",
                          "COM1 ", "COM1234567890", ""}) {
    EXPECT_EQ(ComPortNumber(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(ComPortName(42), "COM42");
}
