#include "Faults.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "SimCrc.h"

namespace {
struct KindName {
  std::string_view name;
  FaultKind kind;
  bool needsArg;
};
constexpr KindName kKinds[] = {
    {"silence", FaultKind::Silence, false},     {"partial", FaultKind::Partial, true},
    {"badcrc", FaultKind::BadCrc, false},       {"wrongfunc", FaultKind::WrongFunc, false},
    {"wrongaddr", FaultKind::WrongAddr, false}, {"exception", FaultKind::Exception, true},
    {"delay", FaultKind::Delay, true},          {"garbage", FaultKind::Garbage, false},
    {"split", FaultKind::Split, false},         {"drop", FaultKind::Drop, false},
    {"wrongtid", FaultKind::WrongTid, false},
};

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

bool ParseInt(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseProbability(std::string_view text, double& value) {
  // from_chars for double is not available everywhere; strtod on a copy is.
  const std::string copy(text);
  char* end = nullptr;
  value = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && value >= 0.0 && value <= 1.0;
}

void ResetCrc(std::vector<uint8_t>& frame) {
  if (frame.size() < 3) return;
  frame.resize(frame.size() - 2);
  AppendCrc(frame);
}
}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string* error) {
  Fault fault{FaultKind::Silence};
  std::string_view kindText = text;
  if (const auto at = kindText.find('@'); at != std::string_view::npos) {
    if (!ParseProbability(kindText.substr(at + 1), fault.probability)) {
      Fail(error, "bad probability in fault '" + std::string(text) + "' (0..1 expected)");
      return std::nullopt;
    }
    kindText = kindText.substr(0, at);
  }
  std::string_view arg;
  bool hasArg = false;
  if (const auto colon = kindText.find(':'); colon != std::string_view::npos) {
    arg = kindText.substr(colon + 1);
    kindText = kindText.substr(0, colon);
    hasArg = true;
  }
  const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const KindName& k) { return k.name == kindText; });
  if (kind == std::end(kKinds)) {
    Fail(error, "unknown fault '" + std::string(kindText) +
                    "' (silence, partial:N, badcrc, wrongfunc, wrongaddr, exception:CODE, delay:MS, garbage[:N], "
                    "split, drop, wrongtid)");
    return std::nullopt;
  }
  fault.kind = kind->kind;
  if (kind->needsArg && !hasArg) {
    Fail(error, "fault '" + std::string(kindText) + "' needs an argument");
    return std::nullopt;
  }
  if (hasArg) {
    const int limit = fault.kind == FaultKind::Exception ? 255 : 60000;
    if (!ParseInt(arg, fault.arg) || fault.arg < 0 || fault.arg > limit ||
        (fault.kind == FaultKind::Exception && fault.arg == 0)) {
      Fail(error, "bad argument in fault '" + std::string(text) + "'");
      return std::nullopt;
    }
    if (!kind->needsArg && fault.kind != FaultKind::Garbage) {
      Fail(error, "fault '" + std::string(kindText) + "' takes no argument");
      return std::nullopt;
    }
  }
  return fault;
}

std::string FaultName(const Fault& fault) {
  for (const KindName& k : kKinds) {
    if (k.kind != fault.kind) continue;
    std::string name(k.name);
    if (k.needsArg || fault.arg > 0) name += ":" + std::to_string(fault.arg);
    return name;
  }
  return "?";
}

std::vector<Fault> DrawFaults(const std::vector<Fault>& faults, std::mt19937& random) {
  std::vector<Fault> drawn;
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  for (const Fault& fault : faults) {
    if (fault.probability >= 1.0 || chance(random) < fault.probability) drawn.push_back(fault);
  }
  return drawn;
}

Reply ApplyFaults(const std::vector<uint8_t>& answer, const std::vector<Fault>& faults, std::mt19937& random,
                  AnswerFraming framing, const void* context) {
  Reply reply;
  reply.bytes = answer;
  auto find = [&](FaultKind kind) -> const Fault* {
    for (const Fault& f : faults)
      if (f.kind == kind) return &f;
    return nullptr;
  };
  auto& bytes = reply.bytes;
  if (const Fault* f = find(FaultKind::Garbage)) {
    std::uniform_int_distribution<int> value(0, 255);
    bytes.resize(f->arg > 0 ? static_cast<size_t>(f->arg) : answer.size());
    for (auto& b : bytes) b = static_cast<uint8_t>(value(random));
  }
  if (const Fault* f = find(FaultKind::Exception); f && answer.size() >= 2) {
    bytes = {answer[0], static_cast<uint8_t>(answer[1] | 0x80), static_cast<uint8_t>(f->arg)};
    AppendCrc(bytes);
  }
  if (find(FaultKind::WrongFunc) && bytes.size() >= 3) {
    // Neither the request's code nor the code with bit 7 set.
    bytes[1] = static_cast<uint8_t>((bytes[1] & 0x7F) ^ 0x40);
    ResetCrc(bytes);
  }
  if (find(FaultKind::WrongAddr) && bytes.size() >= 3) {
    bytes[0] = static_cast<uint8_t>(bytes[0] % 247 + 1);
    ResetCrc(bytes);
  }
  if (find(FaultKind::BadCrc) && bytes.size() >= 3) bytes.back() ^= 0xA5;
  reply.wrongTransaction = find(FaultKind::WrongTid) != nullptr;
  if (framing) bytes = framing(bytes, reply.wrongTransaction, context);
  const Fault* partial = find(FaultKind::Partial);
  if (partial && bytes.size() > static_cast<size_t>(partial->arg)) bytes.resize(static_cast<size_t>(partial->arg));
  if (find(FaultKind::Split) && bytes.size() >= 2) {
    // One to three cuts at distinct random places inside the answer.
    std::uniform_int_distribution<size_t> place(1, bytes.size() - 1), count(1, 3);
    for (size_t n = count(random); n > 0; --n) reply.cuts.push_back(place(random));
    std::sort(reply.cuts.begin(), reply.cuts.end());
    reply.cuts.erase(std::unique(reply.cuts.begin(), reply.cuts.end()), reply.cuts.end());
  }
  if (const Fault* f = find(FaultKind::Delay)) reply.delay = std::chrono::milliseconds(f->arg);
  if (find(FaultKind::Drop)) {
    reply.drop = true;
    if (!partial) bytes.clear();
  }
  if (find(FaultKind::Silence)) bytes.clear();
  return reply;
}
