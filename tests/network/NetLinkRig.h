// The link on the main window's port opened on a network endpoint with a
// recording operator interface; short read time-outs keep failing attempts
// cheap (30 ms between bytes, 150 ms + 10 ms a byte in all).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "RecordingOperator.h"

struct NetLinkRig {
  TComPort port;
  RecordingOperator form;
  TComPortClass link{port, form};
  std::vector<uint8_t> answer = std::vector<uint8_t>(300);

  explicit NetLinkRig(const std::string& endpoint) {
    LoadMainPortProperties(port);
    port.Timeouts().SetReadInterval(30);
    port.Timeouts().SetReadTotalMultiplier(10);
    port.Timeouts().SetReadTotalConstant(150);
    link.PortName = endpoint;
    EXPECT_EQ(link.OpenPort(), 0) << endpoint;
  }
  int32_t Send(uint8_t code, const std::vector<uint8_t>& data, int32_t deviceIndex) {
    std::fill(answer.begin(), answer.end(), 0);
    return link.Transact(deviceIndex, code, static_cast<int32_t>(data.size()), data.data(), answer.data(),
                         static_cast<int32_t>(answer.size()));
  }
  std::vector<uint8_t> Answer() const {
    return std::vector<uint8_t>(answer.begin(), answer.begin() + link.AnswerLen);
  }
};

// Big-endian 16-bit values from the answer's data bytes (after address, code, count).
inline std::vector<int> RegistersOf(const std::vector<uint8_t>& answer) {
  std::vector<int> values;
  for (size_t i = 3; i + 3 < answer.size(); i += 2) values.push_back(answer[i] << 8 | answer[i + 1]);
  return values;
}
