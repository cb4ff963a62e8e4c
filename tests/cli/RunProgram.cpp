#include "RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

extern char** environ;

ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout, const std::optional<std::string>& input,
                      const std::optional<SignalWhen>& stop) {
  int out[2], err[2], in[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (input && pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  // A program that stops reading its input must not end the test with SIGPIPE.
  if (input) signal(SIGPIPE, SIG_IGN);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  if (input) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (input) {
    close(in[0]);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
  }
  if (rc != 0) throw std::runtime_error("cannot start " + path);

  ProgramRun run;
  const auto end = std::chrono::steady_clock::now() + timeout;
  // Standard output, standard error, and the program's standard input while
  // some of `input` is left to write.
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
  size_t written = 0;
  if (input && input->empty()) {
    close(in[1]);
    fds[2].fd = -1;
  }
  int open = 2;
  bool killed = false;
  bool signalled = !stop;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 && !killed) {
      kill(pid, SIGKILL);
      killed = true;
    }
    if (!signalled && stop->Ready()) {
      kill(pid, stop->Signal);
      signalled = true;
    }
    const int wait = killed ? 1000 : signalled ? static_cast<int>(left.count()) + 1
                                               : std::min<int>(10, static_cast<int>(left.count()) + 1);
    if (poll(fds, 3, wait) <= 0 && killed) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? run.Out : run.Err).append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = -1;
      errno = EPIPE;  // the reader has gone unless the write says otherwise
      if (fds[2].revents & POLLOUT)
        n = write(fds[2].fd, input->data() + written, input->size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if ((n < 0 && errno != EAGAIN) || written == input->size()) {  // all given, or the program stopped reading
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  run.ExitCode = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
