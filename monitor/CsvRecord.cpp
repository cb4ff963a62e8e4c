#include "CsvRecord.h"

std::string CsvRecord(const std::vector<std::string>& fields) {
  std::string text;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) text += ';';
    const std::string& field = fields[i];
    if (field.find_first_of(";\"\r\n") == std::string::npos) {
      text += field;
      continue;
    }
    text += '"';
    for (char c : field) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text + "\r\n";
}

std::optional<std::vector<std::string>> SplitCsvRecord(const std::string& line) {
  size_t end = line.size();
  std::vector<std::string> fields(1);
  bool quoted = false, started = false;
  for (size_t i = 0; i < end; ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < end && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && !started) {
      quoted = started = true;
    } else if (c == ';') {
      fields.emplace_back();
      started = false;
    } else if (c == '\r' || c == '\n') {
      end = i;  // the line's end
    } else {
      fields.back() += c;
      started = true;
    }
  }
  if (quoted) return std::nullopt;
  return fields;
}
