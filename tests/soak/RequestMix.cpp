#include "RequestMix.h"

namespace {
void Put16(std::vector<uint8_t>& data, int value) {
  data.push_back(static_cast<uint8_t>(value >> 8));
  data.push_back(static_cast<uint8_t>(value));
}
}  // namespace

SoakRequest RandomRequest(std::mt19937& random) {
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  static const uint8_t kCodes[] = {1, 2, 3, 4, 5, 6, 14, 15, 17, 66, 67, 68, 69, 70, 71, 100};
  SoakRequest request;
  request.DeviceIndex = pick(0, 99) == 0 ? 3 : pick(0, 2);  // devices 1-3 are served, 4 is not
  request.Code = kCodes[pick(0, sizeof kCodes - 1)];
  auto& data = request.Data;
  switch (request.Code) {
    case 1: case 2:
      Put16(data, pick(0, 2100));
      Put16(data, pick(1, 300));
      break;
    case 3: case 4:
      Put16(data, pick(0, 1050));
      Put16(data, pick(1, 126));
      break;
    case 5:
      Put16(data, pick(0, 2047));
      Put16(data, pick(0, 1) ? 0xFF00 : 0x0000);
      break;
    case 6:
      Put16(data, pick(0, 1023));
      Put16(data, pick(0, 65535));
      break;
    case 15: {
      const int quantity = pick(1, 64);
      Put16(data, pick(0, 2000));
      Put16(data, quantity);
      const int bytes = (quantity + 7) / 8;
      data.push_back(static_cast<uint8_t>(bytes));
      for (int i = 0; i < bytes; ++i) data.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    case 66:
      data = {0, static_cast<uint8_t>(pick(0, 255)), 0, static_cast<uint8_t>(pick(0, 255))};
      break;
    case 67:
      data = {0, static_cast<uint8_t>(pick(0, 255))};
      break;
    case 68:
      if (pick(0, 3)) data = {static_cast<uint8_t>(pick(1, 8))};
      break;
    case 69: {
      data.push_back(static_cast<uint8_t>(pick(1, 8)));  // the module
      const int length = pick(8, 64);
      for (int i = 1; i < length; ++i) data.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    case 70:
      data.assign(7, 0);  // the link puts the clock in
      break;
    case 71:
      data = {static_cast<uint8_t>(pick(0, 255)), static_cast<uint8_t>(pick(0, 255))};
      break;
    case 100: {
      const int count = pick(1, 48);
      Put16(data, count);
      for (int i = 0; i < count; ++i) data.push_back(static_cast<uint8_t>(pick(0, 255)));
      break;
    }
    default:  // 14, 17: no data
      break;
  }
  return request;
}
