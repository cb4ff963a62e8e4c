#include "LineSettings.h"

#include <algorithm>

bool IsLinkRate(int32_t baud) {
  return std::find(LinkRates.begin(), LinkRates.end(), baud) != LinkRates.end();
}

TBaudRate BaudRateOf(int32_t baud) {
  switch (baud) {
    case 110: return br110;
    case 300: return br300;
    case 600: return br600;
    case 1200: return br1200;
    case 2400: return br2400;
    case 4800: return br4800;
    case 9600: return br9600;
    case 14400: return br14400;
    case 19200: return br19200;
    case 38400: return br38400;
    case 56000: return br56000;
    case 57600: return br57600;
    case 115200: return br115200;
    default: return brCustom;
  }
}

std::string LinkRatesText() {
  std::string text;
  for (int32_t rate : LinkRates) text += (text.empty() ? "" : ", ") + std::to_string(rate);
  return text;
}

FrameRefusal CheckLineFrame(const LineFrame& frame) {
  if (frame.Parity != 'N' && frame.Parity != 'E' && frame.Parity != 'O') return FrameRefusal::UnknownParity;
  if (frame.StopBits != 1 && frame.StopBits != 2) return FrameRefusal::UnknownStopBits;
  if (frame.Parity == 'E' && frame.StopBits == 2) return FrameRefusal::EvenParityTwoStopBits;
  return FrameRefusal::None;
}
