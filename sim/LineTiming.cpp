#include "LineTiming.h"

#include <algorithm>

std::chrono::nanoseconds LineTiming::CharTime() const {
  if (baud <= 0) return std::chrono::nanoseconds(0);
  const long long bits = 1 + 8 + (parity == 'N' ? 0 : 1) + stopBits;
  return std::chrono::nanoseconds(bits * 1'000'000'000LL / baud);
}

std::chrono::nanoseconds LineTiming::Silence() const {
  return std::max<std::chrono::nanoseconds>(CharTime() * 7 / 2, std::chrono::milliseconds(2));
}
