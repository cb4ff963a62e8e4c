// The grid as a text file: one line per data row (16 at most), the cell texts
// of a row separated by tabs (16 at most), an empty cell being nothing
// between two tabs. Missing lines and cells are empty.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "GridTexts.h"

// The most a grid input may hold: 256 cells of texts far longer than any byte.
inline constexpr size_t kMaxGridInput = 64 * 1024;

// nullopt with a reason when there are more than 16 lines or cells, or a NUL byte.
std::optional<GridTexts> ParseGridText(const std::string& text, std::string& error);
// All 16 rows, each ended by a line feed.
std::string FormatGridText(const GridTexts& grid);

// `path` "-" stands for standard input / output. A directory, or an input
// longer than kMaxGridInput, is refused with a reason.
std::optional<GridTexts> ReadGridFile(const std::string& path, std::string& error);
bool WriteGridFile(const std::string& path, const GridTexts& grid, std::string& error);
