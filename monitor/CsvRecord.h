// One line of ';'-separated CSV (RFC 4180 quoting, as spreadsheets with a
// decimal comma expect), any number of fields: written and read back.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The fields joined with ';', each quoted where it holds ';', '"' or a line
// break; ended by CR LF.
std::string CsvRecord(const std::vector<std::string>& fields);
// The fields of one line as CsvRecord wrote it (its CR LF or LF may be there
// or not); nothing for a line cut inside a quoted field.
std::optional<std::vector<std::string>> SplitCsvRecord(const std::string& line);
