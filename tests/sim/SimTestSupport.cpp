#include "SimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "SimCrc.h"

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  AppendCrc(frame);
  return frame;
}

RawPort::RawPort(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open " + path);
  termios raw{};
  tcgetattr(fd_, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd_, TCSANOW, &raw);
}

RawPort::~RawPort() { close(fd_); }

void RawPort::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, 100);
    }
  }
}

std::vector<uint8_t> RawPort::Read(size_t count, std::chrono::milliseconds timeout,
                                   std::chrono::milliseconds gap) {
  std::vector<uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  auto quietEnd = end;
  while (out.size() < count) {
    uint8_t buf[512];
    const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) {
      out.insert(out.end(), buf, buf + n);
      quietEnd = std::min(end, std::chrono::steady_clock::now() + gap);
      continue;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietEnd - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
  return out;
}

std::vector<uint8_t> RawPort::Ask(const std::vector<uint8_t>& request, size_t answerLength) {
  Write(WithCrc(request));
  return Read(answerLength);
}

TempRuntimeDir::TempRuntimeDir() {
  char pattern[] = "/tmp/modbus-sim-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
  path_ = pattern;
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
    saved_ = old;
    hadValue_ = true;
  }
  setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
}

TempRuntimeDir::~TempRuntimeDir() {
  if (hadValue_)
    setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SimProcess::SimProcess(const std::vector<std::string>& args) {
  char pattern[] = "/tmp/modbus-sim-out-XXXXXX";
  const int out = mkstemp(pattern);
  if (out < 0) throw std::runtime_error("mkstemp");
  output_ = pattern;
  std::vector<std::string> all{MODBUS_SIM_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out, 1);
    dup2(out, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out);
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove(output_, ignored);
}

std::string SimProcess::Output() const {
  std::ifstream in(output_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SimProcess::WaitStarted(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    std::istringstream lines(Output());
    std::string line;
    if (std::getline(lines, line) && line.size() > 1 && lines.good()) {
      std::istringstream words(line);
      std::string tag;
      if (words >> tag >> name_ >> device_ && tag == "modbus-sim:") return true;
      return false;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

int SimProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(5ms);
  }
  return -1;
}

int SimProcess::Stop(int signal, std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  return WaitExit(timeout);
}
