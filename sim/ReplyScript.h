// A script of exact behaviours, one line per successive request addressed
// to a served device (format in README.md):
//   ok                      answer normally
//   partial:3 delay:50      faults, as for --fault, all applied
//   send 01 03 02 00 2A     send exactly these bytes instead of the answer
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"

struct ScriptStep {
  std::vector<Fault> faults;
  std::optional<std::vector<uint8_t>> raw;
};

// nullopt with "line N: reason" on error. Blank lines and '#' comments are skipped.
std::optional<std::vector<ScriptStep>> ParseScript(std::istream& in, std::string* error = nullptr);
