#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

ChildProcess::ChildProcess(const std::function<std::string()>& setup) {
  int report[2];
  if (::pipe(report) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    // The report pipe becomes descriptor 3; everything else of the parent goes.
    if (::dup2(report[1], 3) != 3) ::_exit(1);
    ::close_range(4, ~0u, 0);
    char text[128] = {};
    std::snprintf(text, sizeof text, "%s", setup().c_str());
    [[maybe_unused]] const ssize_t n = ::write(3, text, sizeof text);
    for (;;) ::pause();
  }
  ::close(report[1]);
  char text[128] = {};
  if (pid_ > 0 && ::read(report[0], text, sizeof text) == sizeof text) report_ = text;
  ::close(report[0]);
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::function<std::string()> KeepOpen(const std::string& path) {
  return [path]() -> std::string {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY) >= 0 ? "open" : "";
  };
}
