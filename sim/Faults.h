// Faults injected into answers on demand: KIND[:ARG][@PROBABILITY].
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

enum class FaultKind {
  Silence, Partial, BadCrc, WrongFunc, WrongAddr, Exception, Delay, Garbage,
  // Over TCP only (a pseudo-terminal line ignores them):
  Split,     // the answer goes out in several TCP segments, cut at random places
  Drop,      // the connection closes instead of the answer (after the first N bytes with partial:N)
  WrongTid,  // Modbus TCP framing: the answer carries another transaction identifier
};

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
  std::vector<size_t> cuts;     // split: where segments end, ascending, inside bytes
  bool drop = false;            // close the connection after the bytes
  bool wrongTransaction = false;
};

// How answers travel: RTU frames as they are (the line, rtuovertcp), or
// rewritten into another framing (Modbus TCP) before the faults that cut,
// delay or drop them act on what goes out.
using AnswerFraming = std::vector<uint8_t> (*)(const std::vector<uint8_t>& rtuAnswer, bool wrongTransaction,
                                               const void* context);

// Applies `faults` to `answer` (a whole frame with CRC) in a fixed order,
// whatever order they were given in: the answer is replaced (garbage,
// exception), then altered (wrongfunc, wrongaddr, badcrc), framed, cut
// (partial), split, delayed and finally dropped (drop, silence).
// `framing` (with its `context`), when given, rewrites the answer after the
// content faults and before partial, split, delay, drop and silence.
Reply ApplyFaults(const std::vector<uint8_t>& answer, const std::vector<Fault>& faults, std::mt19937& random,
                  AnswerFraming framing = nullptr, const void* context = nullptr);

// "partial:3" – the fault as given on the command line, without its probability.
std::string FaultName(const Fault& fault);

// Keeps the faults whose probability comes up this time.
std::vector<Fault> DrawFaults(const std::vector<Fault>& faults, std::mt19937& random);
