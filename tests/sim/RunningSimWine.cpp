// The simulated bus under Wine: the line host serves it on a pseudo-terminal
// of its own and links that as a COM port. The options travel as text, so
// only those a host line can carry are accepted.
#include <sstream>
#include <stdexcept>

#include "LineHostConnection.h"
#include "RunningSim.h"

struct RunningSim::Impl {
  LineHostConnection host;
  std::string name;
};

RunningSim::RunningSim(const SimOptions& options, LineTiming timing) : d_(std::make_unique<Impl>()) {
  if (!options.faults.empty() || !options.script.empty() || timing.baud != 0)
    throw std::invalid_argument("faults, scripts and pacing are not carried to the line host");
  std::ostringstream request;
  request << "sim ";
  for (size_t i = 0; i < options.devices.size(); ++i)
    request << (i ? "," : "") << int(options.devices[i]);
  request << ' ' << options.busy.polls << ' ' << options.busy.ms << ' ' << options.seed;
  d_->name = d_->host.Ask(LineHost::Open, request.str());
}

RunningSim::~RunningSim() = default;

const std::string& RunningSim::SlavePath() const { return d_->name; }

std::vector<std::string> RunningSim::Log() const {
  std::istringstream text(d_->host.Ask(LineHost::Command, "log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}
