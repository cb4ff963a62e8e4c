// The engine with the main window's port time-outs and the default repeats.
#include <gtest/gtest.h>

#include <chrono>

#include "LinkRig.h"
#include "ScriptedDevice.h"

using namespace std::chrono;

namespace {
double Ms(steady_clock::duration d) { return duration<double, std::milli>(d).count(); }
}  // namespace

TEST(MainWindowTimeouts, NoDeviceGivesFiveFramesAboutOneAndAHalfSecondsApart) {
  LinkRig rig(LinkRig::Timeouts::MainWindow);
  ScriptedDevice device(rig.pty);
  const uint8_t data[4] = {0x00, 0x00, 0x00, 0x0A};
  uint8_t answer[300] = {};
  const auto start = steady_clock::now();
  EXPECT_EQ(rig.link.Transact(0, 3, 4, data, answer, sizeof answer), 130);
  const auto end = steady_clock::now();
  const auto requests = device.Requests();
  ASSERT_EQ(requests.size(), 5u);
  // Spin delays (4.5 ms), the silent 3-byte head read (1300 ms), the pause (300 ms).
  for (size_t i = 1; i < requests.size(); ++i)
    EXPECT_NEAR(Ms(requests[i].Arrived - requests[i - 1].Arrived), 1605, 150);
  // The last attempt is followed by its pause too.
  EXPECT_NEAR(Ms(end - requests.back().Arrived), 1600, 150);
  EXPECT_NEAR(Ms(end - start), 5 * 1605, 400);

  rig.link.ReportResult(0, 130);
  ASSERT_EQ(rig.form.Boxes.size(), 1u);
  EXPECT_EQ(rig.form.Boxes[0].Text, "устройство 1 COM1 не отвечает на запрос");
  EXPECT_EQ(rig.form.Boxes[0].Caption, "Предупреждение");
  EXPECT_EQ(rig.form.Boxes[0].Icon, MsgIcon::Warning);
}
