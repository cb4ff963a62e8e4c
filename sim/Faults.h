// Faults injected into answers on demand: KIND[:ARG][@PROBABILITY].
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

enum class FaultKind { Silence, Partial, BadCrc, WrongFunc, WrongAddr, Exception, Delay, Garbage };

struct Fault {
  FaultKind kind;
  int arg = 0;               // partial: bytes kept; exception: code; delay: ms; garbage: length (0 = as the answer)
  double probability = 1.0;  // 0..1
};

// "partial:3", "exception:6@0.5", "badcrc"; nullopt with a reason on error.
std::optional<Fault> ParseFault(std::string_view text, std::string* error = nullptr);

// What goes on the line for one request: bytes after a delay; no bytes = silence.
struct Reply {
  std::vector<uint8_t> bytes;
  std::chrono::milliseconds delay{0};
};

// Applies `faults` to `answer` (a whole frame with CRC) in a fixed order,
// whatever order they were given in: the answer is replaced (garbage,
// exception), then altered (wrongfunc, wrongaddr, badcrc), cut (partial),
// delayed and finally dropped (silence).
Reply ApplyFaults(const std::vector<uint8_t>& answer, const std::vector<Fault>& faults, std::mt19937& random);

// "partial:3" – the fault as given on the command line, without its probability.
std::string FaultName(const Fault& fault);

// Keeps the faults whose probability comes up this time.
std::vector<Fault> DrawFaults(const std::vector<Fault>& faults, std::mt19937& random);
