// One click of "Пуск" end to end: entries and grid in, frames on the line to
// the simulated device, fields and grid out, boxes and polling as the window has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "ComPort.h"
#include "ComPortClass.h"
#include "FakeEntry.h"
#include "GridTexts.h"
#include "MainPortProperties.h"
#include "MainWindowState.h"
#include "RecordingOperator.h"
#include "RequestDispatcher.h"
#include "ServClass.h"
#include "SimLog.h"
#include "SimLinkRig.h"
#include "StrToInt.h"

namespace {
class FakeWindow : public MainWindowState {
public:
  FakeEntry zapr{"0"}, dat1{"0"}, dat2{"0"};
  GridTexts grid{};
  std::array<std::string, 20> fields;
  bool polling = false;
  int toggles = 0;

  EntryField& RequestEntry() override { return zapr; }
  EntryField& Data1Entry() override { return dat1; }
  EntryField& Data2Entry() override { return dat2; }
  std::string Cell(int c, int r) const override { return grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)]; }
  void SetCell(int c, int r, const std::string& t) override { grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)] = t; }
  void SetField(int n, const std::string& t) override { fields[static_cast<size_t>(n - 1)] = t; }
  void ResetGridFontColour() override {}
  bool PollTimerEnabled() const override { return polling; }
  void TogglePollTimer() override {
    polling = !polling;
    ++toggles;
  }
  std::string& At(int c, int r) { return grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)]; }
};

SimOptions Busy(int polls) {
  SimOptions o;
  o.busy.polls = polls;
  return o;
}

struct Rig : SimLinkRig {
  RecordingOperator& boxes = form;
  TServClass store{boxes, [] {}};
  FakeWindow window;
  TRequestDispatcher dispatcher{link, store, window, boxes};

  explicit Rig(const SimOptions& options = {}) : SimLinkRig(options) {}

  void Click(const std::string& code, const std::string& d1 = "0", const std::string& d2 = "0") {
    window.zapr.SetText(code);
    window.dat1.SetText(d1);
    window.dat2.SetText(d2);
    dispatcher.Button1Click();
  }
};
}  // namespace

TEST(DispatcherFlow, ReadHoldingRegistersShowsFieldsAndGrid) {
  Rig rig;
  rig.Click("3", "0", "10");
  ASSERT_EQ(rig.dispatcher.LastResult(), 0);
  EXPECT_EQ(rig.Received(), std::vector<std::string>{"01 03 00 00 00 0A C5 CD"});
  const auto& answer = rig.dispatcher.LastAnswer();
  EXPECT_EQ(rig.window.fields[0], "1");
  EXPECT_EQ(rig.window.fields[1], "3");
  EXPECT_EQ(rig.window.fields[2], "20");
  for (int n = 4; n <= 20; ++n) EXPECT_EQ(rig.window.fields[static_cast<size_t>(n - 1)], Hex2(answer[static_cast<size_t>(n - 1)])) << n;
  for (int i = 0; i < 22; ++i) EXPECT_EQ(rig.window.At(i % 16, i / 16 + 1), Hex2(answer[static_cast<size_t>(3 + i)])) << i;
  EXPECT_EQ(rig.window.At(6, 2), "00");
  EXPECT_EQ(rig.window.At(15, 13), "00");
  EXPECT_EQ(rig.window.At(0, 14), "");
  EXPECT_TRUE(rig.boxes.Boxes.empty());
}

TEST(DispatcherFlow, WritesTakeTheirEntriesAsTheWindowHoldsThem) {
  Rig rig;
  rig.Click("5", "1A", "1");
  rig.Click("5", "1A", "2");
  rig.Click("1", "26", "1");
  rig.Click("261", "1A", "1");  // the low byte of 261 is 5
  const auto frames = rig.Received();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].substr(0, 17), "01 05 00 1A FF 00");
  EXPECT_EQ(frames[1].substr(0, 17), "01 05 00 1A 00 00");
  EXPECT_EQ(frames[2].substr(0, 17), "01 01 00 1A 00 01");
  EXPECT_EQ(frames[3].substr(0, 17), "01 05 00 1A FF 00");
  EXPECT_EQ(rig.dispatcher.RequestNumber, 261);
  EXPECT_EQ(rig.dispatcher.RequestCode, 5);

  rig.window.At(0, 1) = "A5";
  rig.window.At(1, 1) = "01";
  rig.Click("15", "0", "9");
  EXPECT_EQ(rig.Received().back().substr(0, 26), "01 0F 00 00 00 09 02 A5 01");
  EXPECT_EQ(rig.dispatcher.LastResult(), 0);
}

TEST(DispatcherFlow, RefusedEntriesStopPollingAndSendNothing) {
  Rig rig;
  rig.window.polling = true;
  rig.Click("15", "0", "0");
  EXPECT_FALSE(rig.window.polling) << "polling stops before the input error";
  EXPECT_EQ(rig.window.dat2.Text(), "00");
  ASSERT_EQ(rig.boxes.Boxes.size(), 1u);

  rig.Click("100", "2049", "0");
  EXPECT_EQ(rig.window.dat1.Text(), "00");
  rig.Click("100", "5", "0");
  ASSERT_EQ(rig.boxes.Boxes.size(), 3u);
  EXPECT_EQ(rig.boxes.Boxes[2].Text, "Занесите данные в таблицу");
  EXPECT_EQ(rig.boxes.Boxes[2].Caption, "Предупреждение");
  EXPECT_EQ(rig.boxes.Boxes[2].Icon, MsgIcon::Warning);
  EXPECT_TRUE(rig.Received().empty());
  EXPECT_THROW(rig.Click("3", "zz", "1"), EConvertError);
  EXPECT_TRUE(rig.Received().empty());
}

TEST(DispatcherFlow, FailuresAreReportedUnlessPollingStopsForThem) {
  Rig rig;
  rig.Click("65");
  ASSERT_EQ(rig.boxes.Boxes.size(), 1u);
  EXPECT_EQ(rig.boxes.Boxes[0].Text, "устройство 1 " + rig.link.PortName + " ошибка обмена 01");

  rig.store.DeviceIndex = 6;  // a device nobody plays: no answer
  rig.link.SetRepeats1(1);
  rig.window.polling = true;
  rig.Click("3", "0", "1");
  EXPECT_EQ(rig.dispatcher.LastResult(), 130);
  EXPECT_FALSE(rig.window.polling);
  EXPECT_EQ(rig.boxes.Boxes.size(), 1u) << "a failure that ends polling shows no box";
  EXPECT_EQ(rig.window.fields[0], "0");

  rig.window.polling = true;
  rig.Click("14");
  EXPECT_EQ(rig.boxes.Boxes.size(), 2u) << "a code-14 failure that ends polling is reported";

  rig.port.Close();
  rig.Click("3", "0", "1");
  EXPECT_EQ(rig.dispatcher.LastResult(), 256);
  EXPECT_EQ(rig.boxes.Boxes.back().Text, "Не выбран COM-порт.");
}

TEST(DispatcherFlow, ModuleDatabaseReadEditWriteBack) {
  Rig rig;
  rig.Click("68", "3");
  ASSERT_EQ(rig.dispatcher.LastResult(), 0);
  const size_t length = 56;  // module 3's database on the simulated device
  EXPECT_EQ(rig.store.DbLength, int(length));
  EXPECT_EQ(rig.store.DbModule, 3);
  EXPECT_EQ(rig.store.DbImage[0], 3);
  EXPECT_EQ(rig.window.At(0, 1), "03");
  EXPECT_EQ(rig.window.At(0, 16), "") << "row 16 stays empty";
  EXPECT_EQ(rig.window.At(15, 15), "00");

  rig.window.At(5, 1) = "AB";
  rig.Click("69", "3");
  EXPECT_TRUE(rig.boxes.Boxes.empty()) << "writing back to the same module asks nothing";
  auto frames = rig.Received();
  ASSERT_GE(frames.size(), 3u);
  const std::string write = frames[1];
  EXPECT_EQ(write.substr(0, 8), "01 45 03");
  EXPECT_EQ(write.substr(5 * 3 + 6, 2), "AB");
  EXPECT_EQ(write.size(), (2 + length + 2) * 3 - 1);
  // The device is busy for three polls, then echoes: four polls.
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "01 0E 81 E4"), 4);
  EXPECT_TRUE(rig.boxes.Boxes.empty()) << "busy polls are not reported";

  rig.Click("68", "3");
  EXPECT_EQ(rig.window.At(5, 1), "AB") << "the device kept what was written";
}

TEST(DispatcherFlow, WritingAnotherModulesDatabaseAsksFirst) {
  Rig rig(Busy(0));
  rig.Click("68", "3");
  rig.boxes.Answers = {MsgResult::No};
  rig.Click("69", "5");
  ASSERT_EQ(rig.boxes.Boxes.size(), 1u);
  EXPECT_EQ(rig.boxes.Boxes[0].Text, "В памяти база модуля 3\nзаписать ее в заданный модуль?");
  EXPECT_EQ(rig.boxes.Boxes[0].Caption, "Подтвердите запись базы данных");
  EXPECT_EQ(rig.boxes.Boxes[0].Icon, MsgIcon::Question);
  EXPECT_EQ(rig.boxes.Boxes[0].Buttons, MsgButtons::YesNo);
  EXPECT_EQ(rig.Received().size(), 1u) << "No sends nothing";

  rig.boxes.Answers = {MsgResult::Yes};
  rig.Click("69", "5");
  EXPECT_EQ(rig.Received()[1].substr(0, 8), "01 45 05");
  rig.Click("68", "5");
  EXPECT_EQ(rig.store.DbModule, 5);
  EXPECT_EQ(rig.store.DbLength, 56) << "module 5 now holds module 3's database";
}

TEST(DispatcherFlow, DatabaseWarnings) {
  Rig rig;
  rig.Click("68", "0");
  EXPECT_EQ(rig.store.DbModule, 0);
  rig.Click("69", "3");
  ASSERT_EQ(rig.boxes.Boxes.size(), 1u);
  EXPECT_EQ(rig.boxes.Boxes[0].Text, "не та база - запросите 68");
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) rig.window.At(c, r) = "";
  rig.Click("69", "0");
  ASSERT_EQ(rig.boxes.Boxes.size(), 2u);
  EXPECT_EQ(rig.boxes.Boxes[1].Text, "Таблица пустая - запросите 68");
  EXPECT_EQ(rig.Received().size(), 1u);
}

TEST(DispatcherFlow, ABusyDeviceGetsFivePollsAndNoBox) {
  Rig rig(Busy(100));
  rig.Click("68", "2");
  const auto start = std::chrono::steady_clock::now();
  rig.Click("69", "2");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto frames = rig.Received();
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "01 0E 81 E4"), 5);
  EXPECT_EQ(rig.dispatcher.LastResult(), 6);
  EXPECT_TRUE(rig.boxes.Boxes.empty());
  // WaitMs counts whole milliseconds of the time of day, so each of the five
  // waits may end up to 1 ms early.
  EXPECT_GE(elapsed, std::chrono::milliseconds(1200 + 4 * 200 - 5));
}

namespace {
ScriptStep Step(std::vector<Fault> faults = {}) { return ScriptStep{std::move(faults), std::nullopt}; }

SimOptions ScriptedReads(std::vector<ScriptStep> script) {
  SimOptions o;
  o.busy.polls = 0;
  o.script = std::move(script);
  return o;
}

size_t CountStarting(const std::vector<std::string>& frames, const std::string& start) {
  return static_cast<size_t>(std::count_if(frames.begin(), frames.end(),
                                           [&](const std::string& f) { return f.rfind(start, 0) == 0; }));
}
}  // namespace

TEST(DispatcherFlow, AFailedDatabaseReadIsNeverWrittenBack) {
  // A good read of module 5, then one cut short, one with a bad CRC and one
  // unanswered: after each, no write may go out, to that module or any other.
  const Fault cut{FaultKind::Partial, 10};
  const Fault badCrc{FaultKind::BadCrc};
  const Fault silent{FaultKind::Silence};
  Rig rig(ScriptedReads({Step(), Step({cut}), Step({cut}), Step(), Step({badCrc}), Step({badCrc}),
                         Step(), Step({silent}), Step({silent}), Step()}));
  rig.link.SetRepeats1(2);
  rig.link.SetRepeats2(2);
  rig.boxes.Answers.assign(10, MsgResult::Yes);

  rig.Click("68", "5");
  ASSERT_EQ(rig.dispatcher.LastResult(), 0);
  const std::string module5 = rig.window.At(1, 1) + rig.window.At(2, 1);

  rig.Click("68", "5");
  EXPECT_EQ(rig.dispatcher.LastResult(), 129);
  const size_t boxesBefore = rig.boxes.Boxes.size();
  rig.Click("69", "5");
  rig.Click("69", "0");
  EXPECT_EQ(CountStarting(rig.Received(), "01 45"), 0u) << "a read cut short is no database";
  ASSERT_EQ(rig.boxes.Boxes.size(), boxesBefore + 2);
  EXPECT_EQ(rig.boxes.Boxes[boxesBefore].Text, "не та база - запросите 68");
  EXPECT_EQ(rig.boxes.Boxes[boxesBefore + 1].Text, "не та база - запросите 68");

  rig.Click("68", "3");  // good: module 3 in the grid
  rig.Click("68", "3");
  EXPECT_EQ(rig.dispatcher.LastResult(), 131);
  rig.Click("69", "5");
  EXPECT_EQ(CountStarting(rig.Received(), "01 45"), 0u) << "nor is a read with a bad CRC";

  rig.Click("68", "3");  // good again
  const std::string module3 = rig.window.At(1, 1) + rig.window.At(2, 1);
  rig.Click("68", "5");
  EXPECT_EQ(rig.dispatcher.LastResult(), 130);
  EXPECT_EQ(rig.window.At(1, 1) + rig.window.At(2, 1), module3) << "no answer leaves the grid alone";
  rig.Click("69", "5");
  EXPECT_EQ(CountStarting(rig.Received(), "01 45"), 0u)
      << "module 3's database must not go to module 5 because module 5's read went unanswered";

  rig.Click("68", "5");
  ASSERT_EQ(rig.dispatcher.LastResult(), 0);
  EXPECT_EQ(rig.window.At(1, 1) + rig.window.At(2, 1), module5) << "module 5 kept its database";
}
