// The line host: the Linux side of the test programs that run under Wine.
// A Windows program cannot reach a pseudo-terminal's master side, so this
// program owns the terminals: for each connection it opens one, links its
// slave into the Wine prefix as COM<n> (a dosdevices symlink, which Wine
// opens as a serial port) and relays the master side to the test program,
// or plays the device there itself (libmodbus's server, the simulator).
// Messages: tests/support/LineHostProtocol.h.
//
// Usage: line-host <wine prefix> <address file>
// Listens on a loopback port, writes "127.0.0.1:<port>" to the address file
// and serves until SIGTERM or SIGINT, when it removes the links it made.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LibmodbusServer.h"
#include "LineHostProtocol.h"
#include "PtyPair.h"
#include "RunningSim.h"

namespace fs = std::filesystem;

namespace {
// Numbers handed out when a test asks for any port: clear of the few that
// Wine links to the machine's own serial ports and of those tests ask for.
constexpr int kFirstFreeNumber = 20;
constexpr int kLastNumber = 255;

// The COM links in the prefix's dosdevices folder, shared by all sessions.
class ComLinks {
public:
  explicit ComLinks(fs::path dir) : dir_(std::move(dir)) {}

  // Links COM<number> (0: the first free one) to `target`; returns the number.
  int Add(int number, const std::string& target) {
    std::lock_guard lock(mutex_);
    if (number == 0) {
      for (int n = kFirstFreeNumber; n <= kLastNumber && number == 0; ++n)
        if (!used_.count(n) && !fs::is_symlink(Path(n))) number = n;
      if (number == 0) throw std::runtime_error("no free COM number");
    } else if (used_.count(number)) {
      throw std::runtime_error("COM" + std::to_string(number) + " is in use");
    }
    std::error_code ignored;
    fs::remove(Path(number), ignored);  // the private prefix's own link, if any
    fs::create_symlink(target, Path(number));
    used_.insert(number);
    return number;
  }

  void Remove(int number) {
    std::lock_guard lock(mutex_);
    std::error_code ignored;
    fs::remove(Path(number), ignored);
    used_.erase(number);
  }

  void RemoveAll() {
    std::lock_guard lock(mutex_);
    std::error_code ignored;
    for (int n : used_) fs::remove(Path(n), ignored);
    used_.clear();
  }

private:
  fs::path Path(int number) const { return dir_ / ("com" + std::to_string(number)); }

  fs::path dir_;
  std::mutex mutex_;
  std::set<int> used_;
};

// One connection: one line of a test program.
class Session {
public:
  Session(int socket, ComLinks& links) : socket_(socket), links_(links) {}
  ~Session() {
    modbus_.reset();
    sim_.reset();
    pty_.reset();
    for (int n : numbers_) links_.Remove(n);
    ::close(socket_);
  }

  void Serve() {
    std::string inbox;
    bool backOff = false;  // the master hung up: nobody holds the slave side yet
    for (;;) {
      const bool relay = Relaying() && !backOff;
      pollfd p[2] = {{socket_, POLLIN, 0}, {relay ? pty_->MasterFd() : -1, POLLIN, 0}};
      if (::poll(p, 2, backOff ? 10 : -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      backOff = false;
      if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        char chunk[4096];
        const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        inbox.append(chunk, static_cast<size_t>(n));
        LineHost::Message message;
        while (LineHost::TakeMessage(inbox, message)) Handle(message);
      }
      if (p[1].revents & POLLIN)
        RelayAvailable();
      else if (p[1].revents & (POLLHUP | POLLERR))
        backOff = true;
    }
  }

private:
  bool Relaying() const { return pty_ && masterOpen_ && !modbus_; }

  void RelayAvailable() {
    std::chrono::steady_clock::time_point arrived;
    const std::vector<uint8_t> bytes = pty_->ReceiveAvailable(&arrived);
    if (!bytes.empty())
      Reply(LineHost::Read, LineHost::ReadPayload(Nanoseconds(arrived), std::string(bytes.begin(), bytes.end())));
  }

  static int64_t Nanoseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  }

  void Reply(LineHost::Kind kind, const std::string& payload) {
    const std::string message = LineHost::Frame(kind, payload);
    for (size_t done = 0; done < message.size();) {
      const ssize_t n = ::send(socket_, message.data() + done, message.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return;  // the test program is gone; the next recv ends the session
      done += static_cast<size_t>(n);
    }
  }

  void Handle(const LineHost::Message& message) {
    try {
      switch (message.kind) {
        case LineHost::Open: Reply(LineHost::Answer, Open(message.payload)); break;
        case LineHost::Write:  // unanswered: bytes for a line without a device side are lost
          if (Relaying())
            pty_->Send(std::vector<uint8_t>(message.payload.begin(), message.payload.end()));
          break;
        case LineHost::Command: Reply(LineHost::Answer, Command(message.payload)); break;
        default: throw std::runtime_error("unknown message");
      }
    } catch (const std::exception& e) {
      Reply(LineHost::Refusal, e.what());
    }
  }

  std::string Link(int number, const std::string& target) {
    number = links_.Add(number, target);
    numbers_.push_back(number);
    return "COM" + std::to_string(number);
  }

  std::string Open(const std::string& request) {
    if (pty_ || sim_) throw std::runtime_error("this connection has its line");
    std::istringstream words(request);
    std::string kind;
    words >> kind;
    if (kind == "raw") {
      int number = 0;
      words >> number;
      pty_ = std::make_unique<PtyPair>();
      masterOpen_ = true;
      return Link(number, pty_->SlavePath());
    }
    if (kind == "sim") {
      std::string devices;
      SimOptions options;
      size_t faults = 0;
      words >> devices >> options.busy.polls >> options.busy.ms >> options.seed >> faults;
      std::string error;
      if (!words || !ParseDeviceList(devices, options.devices, &error))
        throw std::runtime_error("bad simulator request: " + request + " " + error);
      for (std::string text; faults > 0 && words >> text; --faults) {
        const auto fault = ParseFault(text, &error);
        if (!fault) throw std::runtime_error("bad fault in the simulator request: " + error);
        options.faults.push_back(*fault);
      }
      std::string firstLine;
      std::getline(words, firstLine);  // the rest of the first line
      auto script = ParseScript(words, &error);
      if (!script) throw std::runtime_error("bad script in the simulator request: " + error);
      options.script = std::move(*script);
      sim_ = std::make_unique<RunningSim>(options);
      return Link(0, sim_->SlavePath());
    }
    throw std::runtime_error("unknown line: " + request);
  }

  std::string Command(const std::string& text) {
    std::istringstream words(text);
    std::string verb;
    int argument = 0;
    words >> verb >> argument;
    if (verb == "clock") return std::to_string(Nanoseconds(std::chrono::steady_clock::now()));
    if (verb == "log") {
      if (!sim_) throw std::runtime_error("no simulator on this line");
      std::string lines;
      for (const std::string& line : sim_->Log()) lines += line + "\n";
      return lines;
    }
    if (!pty_) throw std::runtime_error("no terminal on this line");
    if (verb == "release-slave") {
      pty_->ReleaseSlave();
    } else if (verb == "close-master") {
      modbus_.reset();
      pty_->CloseMaster();
      masterOpen_ = false;
    } else if (verb == "sync") {
      if (Relaying()) RelayAvailable();
    } else if (verb == "settings") {
      const PtyPair::LineSettings s = pty_->Settings();
      return std::to_string(s.Baud) + (s.TwoStopBits ? " 2" : " 1");
    } else if (verb == "link") {
      return Link(argument, pty_->SlavePath());
    } else if (verb == "modbus") {
      if (modbus_ || !masterOpen_) throw std::runtime_error("the device side is taken");
      modbus_ = std::make_unique<LibmodbusServer>(*pty_, argument);
    } else if (verb == "modbus-stop") {
      modbus_.reset();
    } else if (verb == "coil" || verb == "register" || verb == "served") {
      if (!modbus_) throw std::runtime_error("no libmodbus server on this line");
      if (verb == "coil") return modbus_->Coil(argument) ? "1" : "0";
      if (verb == "register") return std::to_string(modbus_->HoldingRegister(argument));
      return std::to_string(modbus_->Served());
    } else {
      throw std::runtime_error("unknown command: " + text);
    }
    return "ok";
  }

  int socket_;
  ComLinks& links_;
  std::unique_ptr<PtyPair> pty_;
  bool masterOpen_ = false;
  std::unique_ptr<LibmodbusServer> modbus_;
  std::unique_ptr<RunningSim> sim_;
  std::vector<int> numbers_;
};

int Listen(const std::string& addressFile) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) != 0)
    throw std::runtime_error("cannot listen on the loopback interface");
  const std::string temporary = addressFile + ".new";
  std::ofstream(temporary) << "127.0.0.1:" << ntohs(at.sin_port) << "\n";
  fs::rename(temporary, addressFile);  // the script sees the whole address or none
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: line-host <wine prefix> <address file>\n");
    return 2;
  }
  try {
    // Sessions run on detached threads up to the exit: the links outlive main.
    ComLinks& links = *new ComLinks(fs::path(argv[1]) / "dosdevices");
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before any thread starts
    signal(SIGPIPE, SIG_IGN);
    const int stopFd = ::signalfd(-1, &stop, SFD_CLOEXEC);
    const int listener = Listen(argv[2]);
    for (;;) {
      pollfd p[2] = {{listener, POLLIN, 0}, {stopFd, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
      if (p[1].revents & POLLIN) break;
      if (!(p[0].revents & POLLIN)) continue;
      const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const int one = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::thread([client, &links] { Session(client, links).Serve(); }).detach();
    }
    links.RemoveAll();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "line-host: %s\n", e.what());
    return 1;
  }
  return 0;
}
