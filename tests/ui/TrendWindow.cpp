// "Тренды" against the simulated device with real clicks and keys: opened
// by its shortcut and menu entry without moving the main window's controls;
// points while the main window polls and gaps where polls fail; its own
// poll list run in turn on the main window's link without ever starting a
// transaction inside another; a value of the monitor's view handed over;
// markers, pause, the PNG export and the log.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "EntryEdit.h"
#include "FrameTableModel.h"
#include "LogLine.h"
#include "MonitorWindow.h"
#include "Ob_TModBCl.h"
#include "SimLog.h"
#include "SimWindowTest.h"
#include "TrendPlot.h"
#include "TrendWindow.h"
#include "ValuePanel.h"
#include "WindowTools.h"
#include "obrNastr.h"

namespace {

// Every control of the main window: its kind, where it is and whether it shows.
std::vector<std::string> Layout(const QWidget* window) {
  std::vector<std::string> layout;
  for (const QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->isWindow()) continue;
    const QRect g = w->geometry();
    layout.push_back(std::string(w->metaObject()->className()) + " " + std::to_string(g.x()) + "," +
                     std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" + std::to_string(g.height()) +
                     (w->isVisible() ? " shown" : " hidden"));
  }
  return layout;
}

void Type(QLineEdit* edit, const QString& text) {
  QTest::mouseClick(edit, Qt::LeftButton);
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

void Type(QSpinBox* spin, int value) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, QString::number(value));
  QTest::keyClick(spin, Qt::Key_Tab);
}

// Notes the requests of transactions that begin while another is under way.
class NestingProbe : public TransactionObserver {
public:
  void TransactionStarted(const uint8_t* frame, int32_t length) override {
    ++depth;
    if (depth > 1) nested.emplace_back(frame, frame + length);
    if (whileInside) whileInside(frame);
  }
  void AttemptStarted(int, int, int) override {}
  void RestStarted() override {}
  void AttemptFailed(int32_t) override {}
  void TransactionEnded(int32_t) override { --depth; }
  int depth = 0;
  std::vector<std::vector<uint8_t>> nested;
  std::function<void(const uint8_t* frame)> whileInside;
};

class TrendWindow : public SimWindowTest {
protected:
  TFormTrend& Open() {
    Form().OpenTrends();
    return Form().Trends();
  }
  // A series typed into the form of "Ряды" and added with a click.
  void AddSeries(TFormTrend& t, int device, const char* start, int offset, int typeIndex, const char* name,
                 bool right = false) {
    Type(t.SeriesDevice, device);
    Type(t.SeriesCode, 3);
    Type(t.SeriesStart, start);
    Type(t.SeriesOffset, offset);
    t.SeriesType->setCurrentIndex(typeIndex);
    Type(t.SeriesName, QString::fromLatin1(name));  // QTest types Latin letters only
    t.SeriesAxisChoice->setCurrentIndex(right ? 1 : 0);
    QTest::mouseClick(t.BAddSeries, Qt::LeftButton);
  }
  void AddPoll(TFormTrend& t, int device, const char* data) {
    Type(t.PollDevice, device);
    Type(t.PollCode, 3);
    Type(t.PollData, data);
    QTest::mouseClick(t.BAddPoll, Qt::LeftButton);
  }
  void Pusk(const char* zapr, const char* dat1, const char* dat2) {
    Form().EditZapr->SetText(zapr);
    Form().EditDat1->SetText(dat1);
    Form().EditDat2->SetText(dat2);
    QTest::mouseClick(Form().Button1, Qt::LeftButton);
  }
  // The main window's "Цикл" at 500 ms.
  void StartMainCycle() {
    FormNastr->Interval_T->setCurrentText("500");
    QTest::mouseClick(Form().Button3, Qt::LeftButton);
    ASSERT_TRUE(Form().Timer1->isActive());
  }
};

TEST_F(TrendWindow, TheShortcutAndTheMenuOpenItAndNothingInTheMainWindowMoves) {
  TForm1& f = Form();
  const auto before = Layout(&f);
  QTest::mouseClick(f.EditZapr, Qt::LeftButton);
  QTest::keyClick(f.EditZapr, Qt::Key_T, Qt::ControlModifier);
  ASSERT_TRUE(f.Trends().isVisible());
  EXPECT_EQ(f.Trends().windowTitle(), QString::fromUtf8("Тренды"));
  EXPECT_EQ(f.EditZapr->text(), "0") << "the entry's filter never saw the key";
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(f.Link.Observers(), std::vector<TransactionObserver*>{&f.Trends().Follower()});
  // Whole on the screen and clear of "Пуск" and "Цикл", which run the polls it shows.
  const QRect trend = f.Trends().frameGeometry();
  EXPECT_TRUE(f.screen()->availableGeometry().contains(trend)) << trend.x() << "," << trend.y();
  for (const QPushButton* button : {f.Button1, f.Button3})
    EXPECT_FALSE(trend.intersects(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())))
        << button->text().toStdString();
  f.Trends().close();
  EXPECT_EQ(Layout(&f), before);

  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::mouseClick(f.windowHandle(), Qt::RightButton, {}, QPoint(600, 200));
  QMenu* menu = f.Tools->Menu();
  ASSERT_TRUE(menu->isVisible());
  ASSERT_TRUE(menu->actions().contains(f.TrendAction));
  EXPECT_EQ(f.TrendAction->text(), QString::fromUtf8("Тренды"));
  EXPECT_EQ(f.TrendAction->shortcut(), QKeySequence("Ctrl+T"));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(f.TrendAction).center());
  EXPECT_TRUE(f.Trends().isVisible());
  EXPECT_EQ(Layout(&f), before);
}

TEST_F(TrendWindow, PointsAppearWhileTheMainWindowPollsStampedAsTheyArrive) {
  SimOptions moving;
  moving.waves = {*ParseWave("0:counter:0.05")};
  ReopenOn(moving);
  TFormTrend& t = Open();
  AddSeries(t, 1, "0", 0, 0, "counter");
  AddSeries(t, 1, "0", 2, 1, "r1", true);
  ASSERT_EQ(t.Recorder().All().size(), 2u);
  EXPECT_EQ(t.SeriesTable->rowCount(), 2);
  EXPECT_EQ(t.SeriesTable->item(0, 1)->text(), QString::fromUtf8("counter"));

  Form().EditZapr->SetText("3");
  Form().EditDat1->SetText("0");
  Form().EditDat2->SetText("2");
  StartMainCycle();
  const auto& counter = t.Recorder().All()[0].Store;
  for (int i = 0; i < 60 && counter.Size() < 4; ++i) ProcessEvents(100);
  QTest::mouseClick(Form().Button3, Qt::LeftButton);
  ASSERT_GE(counter.Size(), 4u);
  for (size_t i = 1; i < counter.Size(); ++i) {
    EXPECT_GT(counter.Value(i), counter.Value(i - 1)) << "the register moved between polls";
    EXPECT_GE(counter.Time(i) - counter.Time(i - 1), 400'000) << "one point per poll, 500 ms apart";
    EXPECT_FALSE(counter.GapBefore(i));
  }
  EXPECT_EQ(t.Recorder().All()[1].Store.Value(0), 1001);
  EXPECT_EQ(t.Recorder().FailedPolls(), 0u);
  ProcessEvents(2 * TFormTrend::kRefreshMs);
  EXPECT_TRUE(t.Status->text().contains(QString::fromUtf8("Опросов: ")));
  EXPECT_LE(t.Plot->From(), counter.Time(0)) << "the minute shown holds every point";
}

TEST_F(TrendWindow, ItsOwnCycleRunsThePollListWithGapsWhereDevicesFail) {
  TForm1& f = Form();
  f.Link.SetRepeats1(1);
  TFormTrend& t = Open();
  AddSeries(t, 1, "", 0, 0, "dev1");
  AddSeries(t, 2, "", 0, 0, "dev2");
  AddPoll(t, 1, "00 00 00 01");
  AddPoll(t, 2, "00 00 00 01");  // not served: every poll of it fails
  ASSERT_EQ(t.PollTable->rowCount(), 2);
  // A writing request is refused, with its reason.
  Type(t.PollCode, 6);
  Type(t.PollData, "00 00 00 01");
  QTest::mouseClick(t.BAddPoll, Qt::LeftButton);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_NE(boxes.Boxes[0].Text.find("изменяет"), std::string::npos) << boxes.Boxes[0].Text;
  EXPECT_EQ(t.PollTable->rowCount(), 2);

  t.PeriodChoice->setCurrentText("500");
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  ASSERT_TRUE(t.Cycling());
  const auto& one = t.Recorder().All()[0].Store;
  const auto& two = t.Recorder().All()[1].Store;
  for (int i = 0; i < 80 && (one.Size() < 3 || two.Gaps().size() < 3); ++i) ProcessEvents(100);
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  EXPECT_FALSE(t.Cycling());
  ASSERT_GE(one.Size(), 3u);
  EXPECT_EQ(one.Value(0), 1000);
  EXPECT_TRUE(one.Gaps().empty());
  EXPECT_EQ(two.Size(), 0u);
  EXPECT_GE(two.Gaps().size(), 3u) << "each failed poll of device 2 is a gap";
  EXPECT_FALSE(f.Timer1->isActive()) << "the main window's own cycle was never touched";
  EXPECT_TRUE(f.LabelCikl->isHidden());
  EXPECT_EQ(boxes.Boxes.size(), 1u) << "failed polls of the list are no messages";
  // The requests went out in the list's order, one at a time, every one of them whole.
  const auto received = ReceivedHex(sim.Log());
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(received[0].substr(0, 17), "01 03 00 00 00 01");
  EXPECT_EQ(received[1].substr(0, 17), "02 03 00 00 00 01");
}

TEST_F(TrendWindow, ATimedOutPollPartsTheLineWhereOtherPointsAreJoined) {
  // The device stays silent on the 5th and the 10th request: two time-outs.
  SimOptions silences;
  const ScriptStep ok, silence{{*ParseFault("silence")}, std::nullopt};
  silences.script = {ok, ok, ok, ok, silence, ok, ok, ok, ok, silence};
  ReopenOn(silences);
  Form().Link.SetRepeats1(1);
  TFormTrend& t = Open();
  AddSeries(t, 1, "0", 0, 0, "r0");
  AddPoll(t, 1, "00 00 00 01");
  t.PeriodChoice->setCurrentText("100");
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  const auto& store = t.Recorder().All()[0].Store;
  for (int i = 0; i < 80 && store.Size() < 12; ++i) ProcessEvents(100);
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  ASSERT_GE(store.Size(), 12u);
  EXPECT_EQ(store.Gaps().size(), 2u);
  for (size_t i = 1; i < 10; ++i) EXPECT_EQ(store.GapBefore(i), i == 4 || i == 8) << "point " << i;
  EXPECT_EQ(t.Recorder().FailedPolls(), 2u);

  // Drawn wide enough that a poll is tens of pixels: the series' colour lies
  // between joined points and never across a time-out.
  t.WindowChoice->setCurrentIndex(0);  // 10 s
  QTest::mouseClick(t.BPause, Qt::LeftButton);
  const QImage image = t.Plot->Snapshot(QSize(4000, 400));
  const QRect plot = TTrendPlot::PlotArea(image.rect());
  const QColor colour = t.SeriesTable->item(0, 0)->background().color();
  const auto colouredBetween = [&](size_t i) {
    int coloured = 0;
    const int x0 = t.Plot->XOf(store.Time(i - 1), plot), x1 = t.Plot->XOf(store.Time(i), plot);
    EXPECT_GT(x1 - x0, 8) << "point " << i;
    for (int x = x0 + 3; x <= x1 - 3; ++x)
      for (int y = plot.top() + 40; y < plot.bottom() - 8; ++y) coloured += image.pixelColor(x, y) == colour;
    return coloured;
  };
  EXPECT_GT(colouredBetween(3), 0) << "joined";
  EXPECT_EQ(colouredBetween(4), 0) << "a time-out lies between";
  EXPECT_GT(colouredBetween(6), 0) << "joined";
  EXPECT_EQ(colouredBetween(8), 0) << "a time-out lies between";
}

TEST_F(TrendWindow, ItsPollsNeverStartWhileAnotherTransactionRuns) {
  TForm1& f = Form();
  TFormTrend& t = Open();
  AddSeries(t, 1, "10", 0, 0, "r10");
  AddPoll(t, 1, "00 0A 00 01");
  NestingProbe probe;
  f.Link.AddObserver(&probe);
  // The main window's transaction runs the event loop inside it, as a message
  // box would: the trend's turns fall due there and must wait for its end.
  int nestedTurns = 0;
  probe.whileInside = [&](const uint8_t* frame) {
    if (probe.depth > 1 || nestedTurns >= 3 || frame[3] != 0x00) return;  // the main window's: register 0
    ++nestedTurns;
    ProcessEvents(300);
  };
  t.PeriodChoice->setCurrentText("100");
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  Form().EditZapr->SetText("3");
  Form().EditDat1->SetText("0");
  Form().EditDat2->SetText("2");
  StartMainCycle();
  for (int i = 0; i < 30; ++i) ProcessEvents(100);
  QTest::mouseClick(f.Button3, Qt::LeftButton);
  QTest::mouseClick(t.BCycle, Qt::LeftButton);
  f.Link.RemoveObserver(&probe);
  EXPECT_EQ(nestedTurns, 3);
  // The main window's own ticks run from inside such a loop, as they always
  // have; the trend's requests (register 10) never do.
  for (const auto& frame : probe.nested) EXPECT_NE(frame[3], 0x0A) << "the trend polled inside a transaction";
  EXPECT_GE(t.Recorder().All()[0].Store.Size(), 5u);
  EXPECT_EQ(t.Recorder().FailedPolls(), 0u);
  // The main window shows its own answer (registers 0 and 1), not the trend's.
  EXPECT_EQ(f.Edit(4)->text(), "03");
  EXPECT_EQ(f.Edit(5)->text(), "E8");
}

TEST_F(TrendWindow, AValueOfTheMonitorsViewBecomesASeries) {
  TForm1& f = Form();
  f.OpenMonitor();
  TFormMonitor& monitor = f.Monitor();
  Pusk("3", "0", "4");
  ProcessEvents(2 * TFormMonitor::kRefreshMs + 50);
  QTableView* view = monitor.FrameView;
  const QModelIndex answer = view->model()->index(1, ColBytes);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(answer).center());
  TValuePanel& values = *monitor.Values;
  ASSERT_EQ(values.Table->rowCount(), 4);
  values.OrderChoice->setCurrentIndex(1);  // CDAB
  values.Table->setCurrentCell(1, ValU32);
  QTest::mouseClick(values.BToTrend, Qt::LeftButton);
  ASSERT_TRUE(f.Trends().isVisible());
  const auto& all = f.Trends().Recorder().All();
  ASSERT_EQ(all.size(), 1u);
  const SeriesDef& def = all[0].Def;
  EXPECT_EQ(def.Source, (SeriesSource{1, 3, 0}));
  EXPECT_EQ(def.Value.Offset, 2u) << "register 1";
  EXPECT_EQ(def.Value.Type, ValueType::U32);
  EXPECT_EQ(def.Value.Order, ByteOrder::CDAB);
  Pusk("3", "0", "4");
  ASSERT_EQ(all[0].Store.Size(), 1u);
  EXPECT_EQ(all[0].Store.Value(0), 1002.0 * 65536 + 1001) << "registers 2 and 1, CDAB";
  EXPECT_EQ(values.Table->item(1, ValU32)->text(), "65668073");
}

TEST_F(TrendWindow, MarkersPauseAndTheExportsOfPictureAndLog) {
  TForm1& f = Form();
  f.Link.SetRepeats1(1);
  TFormTrend& t = Open();
  QTemporaryDir dir;
  AddSeries(t, 1, "0", 0, 0, "r0");
  ASSERT_TRUE(t.StartLog(dir.filePath("poll.csv")));
  Pusk("3", "0", "1");
  ProcessEvents(300);
  Pusk("3", "0", "1");
  Form().CBoxUstr->setCurrentIndex(5);  // device 6, not served: a gap
  Form().CBoxUstrClick();
  Pusk("3", "0", "1");
  ASSERT_EQ(boxes.Boxes.size(), 1u) << "the main window reports its own failure as always";
  Form().CBoxUstr->setCurrentIndex(0);
  Form().CBoxUstrClick();
  ProcessEvents(300);
  Pusk("3", "0", "1");
  const auto& store = t.Recorder().All()[0].Store;
  ASSERT_EQ(store.Size(), 3u);
  EXPECT_TRUE(store.Gaps().empty()) << "device 6 feeds no series of device 1";

  // Pause: the view stands while the polls go on.
  t.WindowChoice->setCurrentIndex(0);  // 10 s
  QTest::mouseClick(t.BPause, Qt::LeftButton);
  EXPECT_TRUE(t.Paused());
  const int64_t from = t.Plot->From(), to = t.Plot->To();
  ProcessEvents(3 * TFormTrend::kRefreshMs);
  Pusk("3", "0", "1");
  EXPECT_EQ(store.Size(), 4u);
  EXPECT_EQ(t.Plot->From(), from);
  EXPECT_EQ(t.Plot->To(), to);
  QTest::mouseClick(t.BPause, Qt::LeftButton);
  ProcessEvents(2 * TFormTrend::kRefreshMs);
  EXPECT_GT(t.Plot->To(), to);

  // Markers: A at the first point, B at the third.
  t.resize(1000, 700);
  ProcessEvents(2 * TFormTrend::kRefreshMs);
  QTest::mouseClick(t.BPause, Qt::LeftButton);
  const QRect plot = TTrendPlot::PlotArea(t.Plot->rect());
  const int xA = t.Plot->XOf(store.Time(0), plot) - 1, xB = t.Plot->XOf(store.Time(2), plot) + 1;
  QTest::mouseClick(t.Plot, Qt::LeftButton, {}, QPoint(xA, plot.center().y()));
  QTest::mouseClick(t.Plot, Qt::RightButton, {}, QPoint(xB, plot.center().y()));
  ASSERT_TRUE(t.Plot->MarkerA() && t.Plot->MarkerB());
  const QString text = t.Markers->text();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Δt"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("r0: Δ 0, мин 1000, макс 1000, среднее 1000 (3 точек)")))
      << text.toStdString();

  // The picture: the plot's size, with the series' colour drawn in it.
  const QString png = dir.filePath("trend.png");
  ASSERT_TRUE(t.SavePng(png));
  QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), t.Plot->size());
  const QColor colour = t.SeriesTable->item(0, 0)->background().color();
  int drawn = 0;
  for (int y = plot.top(); y <= plot.bottom(); ++y)
    for (int x = plot.left(); x <= plot.right(); ++x) drawn += image.pixelColor(x, y) == colour;
  EXPECT_GT(drawn, 20) << "the line between the points";

  // The points as CSV: the title and a line per point.
  const QString csvPath = dir.filePath("trend.csv");
  ASSERT_TRUE(t.SaveCsv(csvPath));
  QFile csv(csvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QByteArray points = csv.readAll();
  EXPECT_EQ(points.count('\n'), 1 + static_cast<qsizetype>(store.Size()));
  EXPECT_EQ(points.toStdString(), t.Recorder().ExportCsv());

  // The log: one line per poll of the link, the failed one too.
  t.StopLog();
  std::ifstream log(dir.filePath("poll.csv").toStdString(), std::ios::binary);
  std::vector<LoggedPoll> polls;
  std::string line;
  std::getline(log, line);
  EXPECT_NE(line.find(";r0"), std::string::npos) << line;
  while (std::getline(log, line)) polls.push_back(*ParseLogLine(line + "\n", 1));
  ASSERT_EQ(polls.size(), 5u);
  EXPECT_EQ(polls[0].Values[0], "1000");
  EXPECT_EQ(polls[2].Device, 6);
  EXPECT_EQ(polls[2].Result, 130);
  EXPECT_EQ(polls[2].Values[0], "");
}

}  // namespace
