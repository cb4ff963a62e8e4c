// "Монитор обмена" against the simulated device, with real clicks and keys:
// the lines of a transaction started by "Пуск", failed attempts, saving,
// the ring's bound, pause, statistics, the value view, and how it is opened
// without moving anything in the main window.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QDate>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "EntryEdit.h"
#include "FrameTableModel.h"
#include "GridTyping.h"
#include "MonitorWindow.h"
#include "Ob_TModBCl.h"
#include "SimWindowTest.h"
#include "StatisticsPanel.h"
#include "StatisticsText.h"
#include "StringGrid.h"
#include "UiTestApp.h"
#include "ValuePanel.h"
#include "WindowTools.h"

namespace {

class MonitorWindow : public SimWindowTest {
protected:
  // A request typed into the entries and sent with a click on "Пуск".
  void Pusk(const char* zapr, const char* dat1, const char* dat2, int device = 1) {
    Form().CBoxUstr->setCurrentIndex(device - 1);
    Form().CBoxUstrClick();
    Form().EditZapr->SetText(zapr);
    Form().EditDat1->SetText(dat1);
    Form().EditDat2->SetText(dat2);
    QTest::mouseClick(Form().Button1, Qt::LeftButton);
  }
  // Lets the monitor's timer take in what came.
  static void Tick() { ProcessEvents(2 * TFormMonitor::kRefreshMs + 50); }

  static std::vector<FrameLine> Shown(const TFormMonitor& monitor) { return monitor.Lines(); }
  static void ClickRow(TFormMonitor& monitor, int row) {
    QTableView* view = monitor.FrameView;
    view->scrollTo(view->model()->index(row, ColBytes));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(row, ColBytes)).center());
  }
  static QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString("<none>");
  }
};

TEST_F(MonitorWindow, PuskShowsTheRequestAndTheAnswerAndAFailedAttemptInRed) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  ASSERT_TRUE(monitor.isVisible());
  EXPECT_EQ(monitor.windowTitle(), QString::fromUtf8("Монитор обмена"));

  Pusk("3", "0", "2");
  Tick();
  auto lines = Shown(monitor);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0][ColDirection], "→");
  EXPECT_EQ(lines[0][ColBytes], "01 03 00 00 00 02 C4 0B");
  EXPECT_EQ(lines[0][ColCrc], "верна");
  EXPECT_EQ(lines[0][ColFunction], "3");
  EXPECT_EQ(lines[1][ColDirection], "←");
  EXPECT_EQ(lines[1][ColBytes].substr(0, 23), "01 03 04 03 E8 03 E9 BB") << "registers 1000 and 1001";
  EXPECT_EQ(lines[1][ColCrc], "верна");
  EXPECT_EQ(lines[1][ColResult], "ответ принят");
  EXPECT_FALSE(lines[1][ColLatency].empty());
  EXPECT_FALSE(lines[1][ColDelta].empty());
  EXPECT_EQ(lines[0][ColTime].size(), 12u);
  QAbstractItemModel* model = monitor.FrameView->model();
  EXPECT_FALSE(model->index(1, ColBytes).data(Qt::ForegroundRole).isValid()) << "a good answer is not marked";

  // Device 5 is not served: one attempt, a request with "нет ответа", in red.
  Form().Link.SetRepeats1(1);
  Pusk("3", "0", "2", 5);
  EXPECT_EQ(boxes.Boxes.size(), 1u) << "the operator is told as before";
  Tick();
  lines = Shown(monitor);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2][ColDirection], "→");
  EXPECT_EQ(lines[2][ColBytes].substr(0, 17), "05 03 00 00 00 02");
  EXPECT_EQ(lines[2][ColResult], "нет ответа");
  const QVariant ink = model->index(2, ColResult).data(Qt::ForegroundRole);
  ASSERT_TRUE(ink.isValid());
  EXPECT_EQ(ink.value<QBrush>().color(), QColor(255, 0, 0));
  EXPECT_EQ(model->index(2, ColResult).data(Qt::ToolTipRole).toString(), QString::fromUtf8("нет ответа"));
  EXPECT_EQ(model->index(2, ColBytes).data(Qt::ToolTipRole).toString(),
            QString::fromUtf8("05 03 00 00 00 02 C5 8F\nнет ответа")) << "the bytes whole, then the result";

  // The view follows the newest line.
  for (int i = 0; i < 40; ++i) Pusk("3", "0", "1");
  Tick();
  const QScrollBar* bar = monitor.FrameView->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MonitorWindow, TheValueViewReadsTheChosenAnswerAndTheGridCells) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  TValuePanel& values = *monitor.Values;
  Pusk("3", "0", "2");
  Pusk("1", "0", "16");  // coils 0 to 15: on where (k + 1) % 3 == 0
  Tick();
  ASSERT_EQ(monitor.Model().rowCount(), 4);

  ClickRow(monitor, 1);
  EXPECT_TRUE(values.Table->isVisible());
  ASSERT_EQ(values.Table->rowCount(), 2);
  EXPECT_EQ(Cell(values.Table, 0, ValRegister), "0");
  EXPECT_EQ(Cell(values.Table, 0, ValU16), "1000");
  EXPECT_EQ(Cell(values.Table, 1, ValU16), "1001");
  EXPECT_EQ(Cell(values.Table, 0, ValU32), "65537001");
  EXPECT_EQ(Cell(values.Table, 1, ValU32), "");
  // Another order chosen with the keys: CDAB swaps the registers.
  values.OrderChoice->setFocus();
  QTest::keyClick(values.OrderChoice, Qt::Key_Down);
  EXPECT_EQ(values.OrderChoice->currentText(), "CDAB");
  EXPECT_EQ(Cell(values.Table, 0, ValU32), "65602536");  // 03E9 03E8
  EXPECT_EQ(Cell(values.Table, 0, ValU16), "1000");
  QTest::keyClick(values.OrderChoice, Qt::Key_Down);  // BADC: bytes swapped in each register
  EXPECT_EQ(Cell(values.Table, 0, ValU16), "59395");
  QTest::keyClick(values.OrderChoice, Qt::Key_Home);

  // A coil answer shows bits, numbered from the first coil asked for.
  ClickRow(monitor, 3);
  EXPECT_FALSE(values.Table->isVisible());
  EXPECT_EQ(values.Bits->toPlainText(), QString::fromUtf8("Биты:\n0–7: 0 0 1 0 0 1 0 0\n8–15: 1 0 0 1 0 0 1 0"));
  // A request has no values.
  ClickRow(monitor, 0);
  EXPECT_EQ(values.Table->rowCount(), 0);
  EXPECT_FALSE(values.Bits->isVisible());

  // The main window's cells: the code-3 answer, read again, in row 1 of the grid.
  Pusk("3", "0", "2");
  TStringGrid* grid = Form().StringGrid1;
  ASSERT_EQ(grid->Cell(1, 1), "E8");
  QTest::mouseClick(values.CellsChoice, Qt::LeftButton, {}, QPoint(6, values.CellsChoice->height() / 2));
  ASSERT_TRUE(values.CellsChoice->isChecked());
  ClickCell(grid, 0, 1);
  const QRect last = grid->visualItemRect(grid->item(1, 3));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, last.center());
  Tick();
  ASSERT_EQ(values.Table->rowCount(), 2);
  EXPECT_EQ(Cell(values.Table, 0, ValU16), "1000");
  EXPECT_EQ(Cell(values.Table, 1, ValU16), "1001");
  EXPECT_EQ(Cell(values.Table, 0, ValU32), "65537001");
  EXPECT_EQ(Cell(values.Table, 0, ValS16), "1000");
  EXPECT_TRUE(values.Bits->toPlainText().contains(QString::fromUtf8("0–7: 1 1 0 0 0 0 0 0")))
      << values.Bits->toPlainText().toStdString();
  EXPECT_TRUE(values.Source->text().contains(QString::fromUtf8("4 байт")));
}

TEST_F(MonitorWindow, SavedLinesReadBackAndCopyTakesTheSelection) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  Form().Link.SetRepeats1(2);
  Pusk("3", "0", "2");
  Pusk("3", "0", "1", 7);  // two requests without answer
  Pusk("4", "0", "3");
  Tick();
  const std::vector<FrameLine> lines = Shown(monitor);
  ASSERT_EQ(lines.size(), 6u);

  QTemporaryDir dir;
  const QString csv = dir.filePath("monitor.csv");
  ASSERT_TRUE(monitor.SaveCsv(csv));
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::vector<FrameLine> read;
  ASSERT_TRUE(ParseCsv(file.readAll().toStdString(), read));
  ASSERT_EQ(read.size(), lines.size() + 1);
  EXPECT_EQ(read[0], FrameColumnTitles());
  const std::string today = QDate::currentDate().toString("yyyy-MM-dd").toStdString();
  for (size_t i = 0; i < lines.size(); ++i) {
    FrameLine dated = lines[i];
    dated[ColTime] = today + " " + lines[i][ColTime];  // a file outlives the day: the time has its date
    EXPECT_EQ(read[i + 1], dated) << i;
  }
  EXPECT_EQ(read[4][ColResult], "нет ответа; итог 130");

  const QString txt = dir.filePath("monitor.txt");
  ASSERT_TRUE(monitor.SaveText(txt));
  QFile text(txt);
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  const std::string saved = text.readAll().toStdString();
  EXPECT_EQ(saved, TextDocument(lines));
  EXPECT_EQ(saved.substr(0, saved.find('\t')), "Время") << "a title line first";
  EXPECT_FALSE(monitor.SaveCsv(dir.filePath("no/such/folder/monitor.csv")));

  // Copy: every line with none selected, else the selected ones in order.
  QTest::mouseClick(monitor.BCopy, Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), TextDocument(lines));
  ClickRow(monitor, 4);
  QTableView* view = monitor.FrameView;
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    view->visualRect(view->model()->index(1, ColBytes)).center());
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), TextDocument({lines[1], lines[4]}));
}

TEST_F(MonitorWindow, ASmallRingDropsTheOldestLines) {
  TForm1& f = Form();
  TFormMonitor monitor(f.Link, f.StringGrid1, f.Boxes(), 6);
  monitor.show();
  // Five reads of 1 to 5 registers: ten frames, the ring keeps six.
  for (char n = '1'; n <= '5'; ++n) {
    const char count[2] = {n, 0};
    Pusk("3", "0", count);
    if (n == '2') Tick();  // some taken in while they were kept, some not
  }
  Tick();
  const std::vector<FrameLine> lines = Shown(monitor);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0][ColBytes].substr(0, 17), "01 03 00 00 00 03") << "the third read's request comes first";
  EXPECT_EQ(lines[5][ColDirection], "←");
  EXPECT_EQ(lines[5][ColBytes].substr(0, 8), "01 03 0A");
  EXPECT_TRUE(monitor.Status->text().contains(QString::fromUtf8("старых отброшено: 4"))) << monitor.Status->text().toStdString();
  EXPECT_EQ(monitor.Recorder().Frames().Size(), 6u);
}

TEST_F(MonitorWindow, PauseStopsTheListAndResumeCatchesUpClearForgets) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  Pusk("3", "0", "1");
  Tick();
  ASSERT_EQ(monitor.Model().rowCount(), 2);

  QTest::mouseClick(monitor.BPause, Qt::LeftButton);
  EXPECT_EQ(monitor.BPause->text(), QString::fromUtf8("Продолжить"));
  Pusk("3", "0", "2");
  Pusk("3", "0", "3");
  Tick();
  EXPECT_EQ(monitor.Model().rowCount(), 2) << "paused: the list stays";
  EXPECT_TRUE(monitor.Status->text().contains(QString::fromUtf8("новых кадров не показано: 4"))) << monitor.Status->text().toStdString();
  EXPECT_EQ(monitor.Recorder().Frames().Size(), 6u) << "recording goes on";

  QTest::mouseClick(monitor.BPause, Qt::LeftButton);
  EXPECT_EQ(monitor.BPause->text(), QString::fromUtf8("Пауза"));
  ASSERT_EQ(monitor.Model().rowCount(), 6);
  EXPECT_EQ(Shown(monitor)[4][ColBytes].substr(0, 17), "01 03 00 00 00 03");

  QTest::mouseClick(monitor.BClear, Qt::LeftButton);
  EXPECT_EQ(monitor.Model().rowCount(), 0);
  Pusk("3", "0", "4");
  Tick();
  ASSERT_EQ(monitor.Model().rowCount(), 2);
  EXPECT_EQ(Shown(monitor)[0][ColDelta], "") << "nothing before it is kept";
}

TEST_F(MonitorWindow, StatisticsCountPerDeviceAndReset) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  QTableWidget* table = monitor.Statistics->Table;
  Form().Link.SetRepeats1(2);
  Pusk("3", "0", "1");
  Pusk("3", "0", "2");
  Pusk("3", "0", "1", 5);
  Tick();
  ASSERT_EQ(table->rowCount(), 2);
  std::map<QString, std::vector<QString>> rows;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < kStatisticsColumns; ++c) rows[Cell(table, r, StatAddress)].push_back(Cell(table, r, c));
  ASSERT_EQ(rows.count("1"), 1u);
  ASSERT_EQ(rows.count("5"), 1u);
  EXPECT_EQ(rows["1"][StatRequests], "2");
  EXPECT_EQ(rows["1"][StatGood], "2");
  EXPECT_EQ(rows["1"][StatResults], "0: 2");
  EXPECT_EQ(rows["1"][StatRepeats], "0");
  // min / median / max of the latencies whose arrival was seen; on a loaded
  // machine a pseudo-terminal may hide both, and the cell says so.
  const bool seen = monitor.Recorder().Statistics().Devices().at(1).LatencyUs.Count() > 0;
  EXPECT_EQ(rows["1"][StatLatency].count('/'), seen ? 2 : 0) << rows["1"][StatLatency].toStdString();
  if (!seen) {
    EXPECT_EQ(rows["1"][StatLatency], QString::fromUtf8("—"));
  }
  EXPECT_EQ(rows["5"][StatRequests], "1");
  EXPECT_EQ(rows["5"][StatGood], "0");
  EXPECT_EQ(rows["5"][StatResults], "130: 1");
  EXPECT_EQ(rows["5"][StatFailedAttempts], "130: 2") << "both attempts";
  EXPECT_EQ(rows["1"][StatFailedAttempts], QString::fromUtf8("—"));
  EXPECT_EQ(rows["5"][StatLatency], QString::fromUtf8("—"));
  EXPECT_EQ(rows["5"][StatRepeats], "1");

  QTest::mouseClick(monitor.Statistics->BReset, Qt::LeftButton);
  EXPECT_EQ(table->rowCount(), 0);
  Pusk("3", "0", "1");
  Tick();
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(Cell(table, 0, StatRequests), "1");
  EXPECT_EQ(monitor.Model().rowCount(), 8) << "the frames stay";
}

// Every control of the main window: its kind, where it is and whether it shows.
std::vector<std::string> Layout(const QWidget* window) {
  std::vector<std::string> layout;
  const auto describe = [](const QWidget* w) {
    const QRect g = w->geometry();
    return std::string(w->metaObject()->className()) + " " + std::to_string(g.x()) + "," +
           std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" + std::to_string(g.height()) +
           (w->isVisible() ? " shown" : " hidden");
  };
  for (const QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isWindow()) layout.push_back(describe(child));  // not the menu, a window of its own
  layout.push_back(describe(window));
  return layout;
}

TEST_F(MonitorWindow, TheShortcutAndTheMenuOpenItAndNothingInTheMainWindowMoves) {
  TForm1& f = Form();
  const auto before = Layout(&f);
  ASSERT_GT(before.size(), 40u);

  // Ctrl+M with the focus in the request entry, whose filter refuses the letter M.
  QTest::mouseClick(f.EditZapr, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), f.EditZapr);
  QTest::keyClick(f.EditZapr, Qt::Key_M, Qt::ControlModifier);
  ASSERT_TRUE(f.Monitor().isVisible());
  EXPECT_TRUE(boxes.Boxes.empty()) << "no input error";
  EXPECT_EQ(f.EditZapr->text(), "0");
  EXPECT_EQ(f.Link.Observers(), std::vector<TransactionObserver*>{&f.Monitor().Recorder()});
  Pusk("3", "0", "1");
  f.Monitor().close();
  EXPECT_TRUE(f.Link.Observers().empty()) << "closed, it lets go of the link";
  Pusk("3", "0", "1");  // not recorded
  EXPECT_EQ(Layout(&f), before);

  // A right click on the free area beside the grid's buttons, then the entry.
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QMenu* menu = f.Tools->Menu();
  QTest::mouseClick(f.windowHandle(), Qt::RightButton, {}, QPoint(600, 200));
  ASSERT_TRUE(menu->isVisible());
  ASSERT_FALSE(menu->actions().isEmpty());
  QAction* entry = menu->actions().front();
  EXPECT_EQ(entry, f.MonitorAction);
  EXPECT_EQ(entry->text(), QString::fromUtf8("Монитор обмена"));
  EXPECT_EQ(entry->shortcut(), QKeySequence("Ctrl+M"));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
  EXPECT_FALSE(menu->isVisible());
  ASSERT_TRUE(f.Monitor().isVisible());
  // Opened again, it shows the frames it kept and goes on.
  Pusk("3", "0", "2");
  Tick();
  const auto lines = f.Monitor().Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2][ColBytes].substr(0, 17), "01 03 00 00 00 02");
  EXPECT_EQ(Layout(&f), before);

  // Closing the main window closes the monitor too.
  f.close();
  ProcessEvents();
  EXPECT_FALSE(f.Monitor().isVisible());
}

}  // namespace

namespace {
// Tab from `start` round the window: every control it reaches, in order.
std::vector<QWidget*> TabRound(QWidget* start, int presses) {
  start->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> reached{start};
  for (int i = 0; i < presses; ++i) {
    QWidget* now = QApplication::focusWidget();
    if (!now) break;
    QTest::keyClick(now, Qt::Key_Tab);
    reached.push_back(QApplication::focusWidget());
  }
  return reached;
}
}  // namespace

TEST_F(MonitorWindow, TabReachesEveryControlAndLeavesTheTables) {
  TFormMonitor& m = Form().Monitor();
  Form().OpenMonitor();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
  Pusk("3", "0", "2");
  Tick();
  const auto reached = TabRound(m.BPause, 30);
  const auto at = [&](QWidget* w) { return std::find(reached.begin(), reached.end(), w); };
  for (QWidget* control : std::initializer_list<QWidget*>{
           m.BClear, m.BCopy, m.BSaveCsv, m.BSaveText, m.FrameView, m.Statistics->BReset, m.Statistics->Table,
           m.Values->CellsChoice, m.Values->OrderChoice}) {
    ASSERT_NE(at(control), reached.end()) << control->metaObject()->className();
    // A table hands the next Tab on instead of keeping it.
    if (at(control) + 1 != reached.end()) {
      EXPECT_NE(*(at(control) + 1), control);
    }
  }
  EXPECT_GE(std::count(reached.begin(), reached.end(), m.BPause), 2) << "round and back to the start";
}
