// The simulated bus under Wine: the line host serves it on a pseudo-terminal
// of its own and links that as a COM port. The options travel as text: the
// devices, the busy policy, the seed and the faults on the first line, the
// script after it in the simulator's own script form.
#include <sstream>
#include <stdexcept>

#include "LineHostConnection.h"
#include "RunningSim.h"

struct RunningSim::Impl {
  LineHostConnection host;
  std::string name;
};

namespace {
// "partial:3@0.5", as the simulator's command line and scripts write a fault.
std::string FaultText(const Fault& fault) {
  std::ostringstream text;
  text << FaultName(fault);
  if (fault.probability < 1.0) text << '@' << fault.probability;
  return text.str();
}

// One script line per step, in the simulator's script form.
std::string ScriptText(const std::vector<ScriptStep>& script) {
  std::ostringstream text;
  for (const ScriptStep& step : script) {
    if (step.raw) {
      text << "send";
      for (uint8_t b : *step.raw) text << ' ' << std::hex << std::uppercase << int(b) << std::dec;
    } else if (step.faults.empty()) {
      text << "ok";
    } else {
      for (size_t i = 0; i < step.faults.size(); ++i) text << (i ? " " : "") << FaultText(step.faults[i]);
    }
    text << '\n';
  }
  return text.str();
}
}  // namespace

RunningSim::RunningSim(const SimOptions& options, LineTiming timing) : d_(std::make_unique<Impl>()) {
  if (timing.baud != 0) throw std::invalid_argument("pacing is not carried to the line host");
  std::ostringstream request;
  request << "sim ";
  for (size_t i = 0; i < options.devices.size(); ++i)
    request << (i ? "," : "") << int(options.devices[i]);
  request << ' ' << options.busy.polls << ' ' << options.busy.ms << ' ' << options.seed << ' '
          << options.faults.size();
  for (const Fault& fault : options.faults) request << ' ' << FaultText(fault);
  request << '\n' << ScriptText(options.script);
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
