// Request data typed as hexadecimal bytes: "00 0A FF", "000AFF" or "00,0a".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// nullopt when a group is not hexadecimal or has an odd number of digits.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text);

// Space-separated upper-case pairs: "01 03 14".
std::string FormatHexBytes(const uint8_t* bytes, size_t count);
