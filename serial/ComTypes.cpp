#include "ComTypes.h"

#include <array>
#include <cstddef>

namespace {
// Platform mask bit of each TComEvent, by ordinal.
constexpr std::array<uint32_t, 10> kEventMaskBits = {
    0x0001,  // evRxChar   EV_RXCHAR
    0x0004,  // evTxEmpty  EV_TXEMPTY
    0x0002,  // evRxFlag   EV_RXFLAG
    0x0100,  // evRing     EV_RING
    0x0040,  // evBreak    EV_BREAK
    0x0008,  // evCTS      EV_CTS
    0x0010,  // evDSR      EV_DSR
    0x0080,  // evError    EV_ERR
    0x0020,  // evRLSD     EV_RLSD
    0x0400,  // evRx80Full EV_RX80FULL
};
constexpr std::array<int, 16> kBaudValues = {0,     110,   300,   600,   1200,  2400,
                                             4800,  9600,  14400, 19200, 38400, 56000,
                                             57600, 115200, 128000, 256000};
}  // namespace

int BaudRateValue(TBaudRate rate) {
  const auto i = static_cast<std::size_t>(rate);
  return i < kBaudValues.size() ? kBaudValues[i] : 0;
}

uint32_t TComEvents::ToMask() const {
  uint32_t mask = 0;
  for (std::size_t i = 0; i < kEventMaskBits.size(); ++i)
    if ((bits_ >> i) & 1u) mask |= kEventMaskBits[i];
  return mask;
}

TComEvents TComEvents::FromMask(uint32_t mask) {
  TComEvents events;
  for (std::size_t i = 0; i < kEventMaskBits.size(); ++i)
    if (mask & kEventMaskBits[i]) events.Include(static_cast<TComEvent>(i));
  return events;
}
