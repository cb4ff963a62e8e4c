#include "ShellWords.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::optional<std::vector<std::string>> SplitShellWords(const std::string& line,
                                                        std::string& error) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsBlank(c)) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      ++i;
    } else if (c == '#' && !inWord) {
      break;
    } else if (c == '\'') {
      const size_t close = line.find('\'', i + 1);
      if (close == std::string::npos) {
        error = "unclosed ' quote";
        return std::nullopt;
      }
      word += line.substr(i + 1, close - i - 1);
      inWord = true;
      i = close + 1;
    } else if (c == '"') {
      inWord = true;
      for (++i;; ++i) {
        if (i >= line.size()) {
          error = "unclosed \" quote";
          return std::nullopt;
        }
        if (line[i] == '"') break;
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
          ++i;
        word += line[i];
      }
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= line.size()) {
        error = "backslash at the end of the line";
        return std::nullopt;
      }
      word += line[i + 1];
      inWord = true;
      i += 2;
    } else {
      word += c;
      inWord = true;
      ++i;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}
