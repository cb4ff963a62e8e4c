// The outcome report: one box per result code with its exact text, caption,
// icon and button; code 256 closes the port first.
#include <gtest/gtest.h>

#include "LinkRig.h"

namespace {
struct Expected {
  int32_t code;
  const char* text;
  const char* caption;
  MsgIcon icon;
};
}  // namespace

TEST(ReportResult, EveryRowOfTheTable) {
  TComPort port;
  RecordingOperator form;
  TComPortClass link(port, form);
  const Expected rows[] = {
      {6, "устройство 1 COM1 Идет запись базы данных. Ждите.", "Предупреждение", MsgIcon::Warning},
      {128, "устройство 1 COM1 ошибка приема данных ", "Предупреждение", MsgIcon::Warning},
      {129, "устройство 1 COM1 тайм-аут приема данных", "Предупреждение", MsgIcon::Warning},
      {130, "устройство 1 COM1 не отвечает на запрос", "Предупреждение", MsgIcon::Warning},
      {131, "устройство 1 COM1 ошибка контрольной суммы", "Предупреждение", MsgIcon::Warning},
      {132, " невозможно открыть последовательный порт ", "Предупреждение", MsgIcon::Warning},
      {133, "вероятно, порт не настроен", "Ошибка", MsgIcon::Error},
      {134, "сбой настройки порта при выключении прибора", "Ошибка", MsgIcon::Error},
      {135, "ошибка настройки порта", "Ошибка", MsgIcon::Error},
      {256, "Не выбран COM-порт.", "Ошибка", MsgIcon::Error},
      {1, "устройство 1 COM1 ошибка обмена 01", "Предупреждение", MsgIcon::Warning},
      {2, "устройство 1 COM1 ошибка обмена 02", "Предупреждение", MsgIcon::Warning},
      {11, "устройство 1 COM1 ошибка обмена 0B", "Предупреждение", MsgIcon::Warning},
      {127, "устройство 1 COM1 ошибка обмена 7F", "Предупреждение", MsgIcon::Warning},
      {136, "устройство 1 COM1 ошибка обмена 88", "Предупреждение", MsgIcon::Warning},
      {255, "устройство 1 COM1 ошибка обмена FF", "Предупреждение", MsgIcon::Warning},
      {300, "устройство 1 COM1 ошибка обмена 12C", "Предупреждение", MsgIcon::Warning},
  };
  for (const Expected& row : rows) {
    form.Clear();
    link.ReportResult(0, row.code);
    ASSERT_EQ(form.Boxes.size(), 1u) << row.code;
    EXPECT_EQ(form.Boxes[0].Text, row.text) << row.code;
    EXPECT_EQ(form.Boxes[0].Caption, row.caption) << row.code;
    EXPECT_EQ(form.Boxes[0].Icon, row.icon) << row.code;
    EXPECT_EQ(form.Boxes[0].Buttons, MsgButtons::Ok) << row.code;
  }
  EXPECT_EQ(form.MainWindowClosed, 0);
  EXPECT_EQ(form.PollTimerDisabled, 0);

  form.Clear();
  link.ReportResult(0, 0);
  EXPECT_TRUE(form.Boxes.empty());
}

TEST(ReportResult, DevicePrefixNamesTheDeviceAndPortAndFixedTextsIgnoreThem) {
  TComPort port;
  RecordingOperator form;
  TComPortClass link(port, form);
  link.PortName = "COM2";
  link.ReportResult(4, 130);
  link.ReportResult(30, 2);
  link.ReportResult(4, 132);
  link.ReportResult(4, 135);
  ASSERT_EQ(form.Boxes.size(), 4u);
  EXPECT_EQ(form.Boxes[0].Text, "устройство 5 COM2 не отвечает на запрос");
  EXPECT_EQ(form.Boxes[1].Text, "устройство 31 COM2 ошибка обмена 02");
  EXPECT_EQ(form.Boxes[2].Text, " невозможно открыть последовательный порт ");
  EXPECT_EQ(form.Boxes[3].Text, "ошибка настройки порта");
}

TEST(ReportResult, PortNotOpenClosesThePortBeforeTheBox) {
  LinkRig rig;
  ASSERT_TRUE(rig.port.Connected());
  bool connectedAtBox = true;
  rig.form.OnShow = [&](const RecordedBox&) { connectedAtBox = rig.port.Connected(); };
  rig.link.ReportResult(0, 256);
  EXPECT_FALSE(connectedAtBox);
  EXPECT_FALSE(rig.port.Connected());
  // On a closed port the close does nothing and the box still comes.
  rig.link.ReportResult(0, 256);
  ASSERT_EQ(rig.form.Boxes.size(), 2u);
  EXPECT_EQ(rig.form.Boxes[1].Text, "Не выбран COM-порт.");

  // Other codes leave the port alone.
  rig.port.Open();
  rig.link.ReportResult(0, 130);
  EXPECT_TRUE(rig.port.Connected());
}
