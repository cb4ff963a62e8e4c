#include "ReplyScript.h"

#include <sstream>

namespace {
bool ParseHexByte(const std::string& token, uint8_t& value) {
  if (token.empty() || token.size() > 2) return false;
  unsigned v = 0;
  for (char c : token) {
    const int digit = c >= '0' && c <= '9' ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    v = v * 16 + static_cast<unsigned>(digit);
  }
  value = static_cast<uint8_t>(v);
  return true;
}
}  // namespace

std::optional<std::vector<ScriptStep>> ParseScript(std::istream& in, std::string* error) {
  std::vector<ScriptStep> steps;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    auto fail = [&](const std::string& reason) {
      if (error) *error = "line " + std::to_string(number) + ": " + reason;
      return std::nullopt;
    };
    ScriptStep step;
    if (word == "send") {
      std::vector<uint8_t> bytes;
      for (uint8_t b; words >> word;) {
        if (!ParseHexByte(word, b)) return fail("'" + word + "' is not a hex byte");
        bytes.push_back(b);
      }
      step.raw = std::move(bytes);
    } else if (word != "ok") {
      do {
        std::string reason;
        auto fault = ParseFault(word, &reason);
        if (!fault) return fail(reason);
        step.faults.push_back(*fault);
      } while (words >> word);
    } else if (words >> word) {
      return fail("'ok' stands alone");
    }
    steps.push_back(std::move(step));
  }
  return steps;
}
