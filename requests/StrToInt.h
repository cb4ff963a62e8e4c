// The decimal conversion of entry texts: optional leading blanks, an optional
// sign, then decimal digits, or hexadecimal digits after "0x".
// Anything else, or a value outside 32 bits, is an EConvertError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

int32_t StrToInt(const std::string& text);
