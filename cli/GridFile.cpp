#include "GridFile.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

std::optional<GridTexts> ParseGridText(const std::string& text, std::string& error) {
  if (text.find('\0') != std::string::npos) {
    error = "the grid holds a NUL byte";
    return std::nullopt;
  }
  GridTexts grid{};
  size_t row = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (row == kGridDataRows) {
      error = "the grid has more than " + std::to_string(kGridDataRows) + " lines";
      return std::nullopt;
    }
    size_t column = 0, cellStart = 0;
    for (;;) {
      const size_t tab = line.find('\t', cellStart);
      if (column == kGridColumns) {
        error = "line " + std::to_string(row + 1) + " of the grid has more than " +
                std::to_string(kGridColumns) + " cells";
        return std::nullopt;
      }
      grid[row][column++] = line.substr(cellStart, tab == std::string::npos ? std::string::npos
                                                                            : tab - cellStart);
      if (tab == std::string::npos) break;
      cellStart = tab + 1;
    }
    ++row;
  }
  return grid;
}

std::string FormatGridText(const GridTexts& grid) {
  std::string text;
  for (const auto& row : grid) {
    for (size_t c = 0; c < row.size(); ++c) {
      if (c) text += '\t';
      text += row[c];
    }
    text += '\n';
  }
  return text;
}

namespace {
// Reads all of `in`, but never more than the limit: a grid input that goes on
// and on (/dev/zero, an endless pipe) is refused, not collected.
bool ReadAtMost(std::istream& in, size_t limit, std::string& text) {
  text.clear();
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > limit) return false;
  }
  return true;
}
}  // namespace

std::optional<GridTexts> ReadGridFile(const std::string& path, std::string& error) {
  const std::string name = path == "-" ? std::string("standard input") : path;
  std::string text;
  bool bounded = true;
  if (path == "-") {
    bounded = ReadAtMost(std::cin, kMaxGridInput, text);
  } else {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      error = path + ": is a directory, not a grid file";
      return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      error = "cannot read the grid file " + path;
      return std::nullopt;
    }
    bounded = ReadAtMost(in, kMaxGridInput, text);
    if (in.bad()) {
      error = "cannot read the grid file " + path;
      return std::nullopt;
    }
  }
  if (!bounded) {
    error = name + ": longer than " + std::to_string(kMaxGridInput) + " bytes, no grid";
    return std::nullopt;
  }
  auto grid = ParseGridText(text, error);
  if (!grid) error = name + ": " + error;
  return grid;
}

bool WriteGridFile(const std::string& path, const GridTexts& grid, std::string& error) {
  const std::string text = FormatGridText(grid);
  if (path == "-") {
    std::cout << text << std::flush;
    return static_cast<bool>(std::cout);
  }
  // A new file renamed into place: whoever reads the path sees the old grid
  // or the new one, never a part, and a failed write leaves the old one.
  const std::string temporary = path + ".new";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  std::error_code ec;
  if (!out) {
    std::filesystem::remove(temporary, ec);
    error = "cannot write the grid file " + path;
    return false;
  }
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    error = "cannot write the grid file " + path;
    return false;
  }
  return true;
}
