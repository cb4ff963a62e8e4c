// "Монитор обмена" in listen mode against the modbus-sim program's tap,
// with real clicks and keys: the dialog filled by keys, the list matching
// the simulator's log frame for frame while the main window polls it, the
// statistics per address, saving, a port of the main window refused, the
// listened port held exclusively, and back to the link's traffic.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <signal.h>
#include <sstream>

#include "ComPort.h"
#include "EComPort.h"
#include "EntryEdit.h"
#include "LineAnalyser.h"
#include "ListenDialog.h"
#include "ListenStatisticsPanel.h"
#include "ListenStatisticsText.h"
#include "MonitorWindow.h"
#include "Ob_TModBCl.h"
#include "SimLog.h"
#include "SimTestSupport.h"
#include "StatisticsPanel.h"
#include "UiTestApp.h"
#include "ValuePanel.h"

namespace {

std::vector<std::string> FramedHex(const std::vector<FrameLine>& lines) {
  std::vector<std::string> hex;
  for (const FrameLine& line : lines)
    if (line[ColDirection] == "→" || line[ColDirection] == "←") hex.push_back(line[ColBytes]);
  return hex;
}

class ListenWindow : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--baud", "19200", "--tap", "--log", "--seed", "5", "--devices", "1-2", "--fault", "badcrc@0.2",
        "--fault", "exception:2@0.2"});
    ASSERT_TRUE(sim->WaitStarted()) << sim->Output();
    std::istringstream words(sim->Output());
    std::string tag, main, device, word;
    words >> tag >> main >> device >> word >> tap;
    ASSERT_EQ(word, "tap") << sim->Output();
    TForm1& f = Form();
    f.Link.SetTxDelay(1);
    f.Link.SetRxDelay(1);
    f.SetPortAndOpen(sim->Name(), "19200", "N", "2");
    ASSERT_TRUE(f.ComPort1.Connected());
  }
  void TearDown() override {
    WindowTest::TearDown();
    if (sim) {
      EXPECT_EQ(sim->Stop(SIGTERM), 0);
    }
  }

  // "Прослушивание линии…" clicked, the dialog filled by keys: the port's
  // name typed, 19200 chosen with Home and Down, Enter.
  void ListenByKeys(TFormMonitor& monitor, const std::string& port) {
    bool filled = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<TListenDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Прослушивание линии"));
      dialog->CBoxPort->setFocus();
      QTest::keyClick(dialog->CBoxPort, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(dialog->CBoxPort, QString::fromStdString(port));
      dialog->CBoxRate->setFocus();
      QTest::keyClick(dialog->CBoxRate, Qt::Key_Home);
      for (int i = 0; i < 8; ++i) QTest::keyClick(dialog->CBoxRate, Qt::Key_Down);
      EXPECT_EQ(dialog->Rate(), 19200);
      EXPECT_EQ(dialog->PortName(), port);
      filled = true;
      QTest::keyClick(dialog->CBoxRate, Qt::Key_Return);
    });
    QTest::mouseClick(monitor.BListen, Qt::LeftButton);
    EXPECT_TRUE(filled);
  }

  // A request typed into the main window and sent with a click on "Пуск".
  void Pusk(int device, const char* zapr, const char* dat1, const char* dat2) {
    TForm1& f = Form();
    f.CBoxUstr->setCurrentIndex(device - 1);
    f.CBoxUstrClick();
    f.EditZapr->SetText(zapr);
    f.EditDat1->SetText(dat1);
    f.EditDat2->SetText(dat2);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
  }

  std::unique_ptr<SimProcess> sim;
  std::string tap;
};

TEST_F(ListenWindow, HearsTheTapAsTheSimulatorLogsItAndNeverTakesTheMainWindowsPort) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  ListenByKeys(monitor, tap);
  ASSERT_TRUE(monitor.Listening()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.back().Text);
  // Visibly only listening.
  EXPECT_TRUE(monitor.ListenBanner->isVisible());
  EXPECT_TRUE(monitor.ListenBanner->text().contains(QString::fromUtf8("только приём"))) << monitor.ListenBanner->text().toStdString();
  EXPECT_TRUE(monitor.ListenBanner->text().contains(QString::fromStdString(tap)));
  EXPECT_EQ(monitor.windowTitle(), QString::fromUtf8("Монитор обмена — прослушивание ") + QString::fromStdString(tap));
  EXPECT_EQ(monitor.BListen->text(), QString::fromUtf8("Остановить прослушивание"));
  EXPECT_TRUE(monitor.ListenStatistics->isVisible());
  EXPECT_FALSE(monitor.Statistics->isVisible());
  EXPECT_GT(monitor.Values->width(), 200) << "the value view keeps its room beside the statistics";

  // The main window polls both devices; some answers fail as the faults say.
  for (int round = 0; round < 4; ++round)
    for (int device : {1, 2}) Pusk(device, "3", "0", "3");
  const auto logged = [this] {
    std::vector<std::string> hex;
    for (const LoggedFrame& frame : LoggedFrames(sim->Output())) hex.push_back(frame.Hex);
    return hex;
  };
  ASSERT_TRUE(WaitUntil([&] { return FramedHex(monitor.Lines()).size() >= logged().size(); }, 5000))
      << FramedHex(monitor.Lines()).size() << " of " << logged().size() << "\n"
      << testing::PrintToString(FramedHex(monitor.Lines())) << "\n" << testing::PrintToString(logged());
  ProcessEvents(300);  // nothing more comes
  EXPECT_EQ(FramedHex(monitor.Lines()), logged());
  EXPECT_GE(logged().size(), 8u);

  // Per address: the requests heard, the answers' latency and the period
  // of the master's polling.
  monitor.Refresh();
  QTableWidget* table = monitor.ListenStatistics->Table;
  ASSERT_EQ(table->rowCount(), 2);
  std::map<std::string, int> requests;
  for (const LoggedFrame& frame : LoggedFrames(sim->Output()))
    if (frame.Received) ++requests[std::to_string(frame.Bytes[0])];
  for (int row = 0; row < 2; ++row) {
    const std::string address = table->item(row, ListenAddress)->text().toStdString();
    EXPECT_EQ(table->item(row, ListenRequests)->text().toInt(), requests[address]) << address;
    EXPECT_NE(table->item(row, ListenPeriod)->text(), QString::fromUtf8("—")) << address;
    EXPECT_NE(table->item(row, ListenLatency)->text(), QString::fromUtf8("—")) << address;
  }

  // Saved as CSV and as text, the frames heard in both.
  QTemporaryDir dir;
  ASSERT_TRUE(monitor.SaveCsv(dir.filePath("heard.csv")));
  ASSERT_TRUE(monitor.SaveText(dir.filePath("heard.txt")));
  for (const char* name : {"heard.csv", "heard.txt"}) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const std::string& hex : logged()) EXPECT_TRUE(text.contains(hex.c_str())) << name << ": " << hex;
  }

  // The listened port is held exclusively, as the main window holds its
  // own: the main window's port (the same serial component) cannot open it.
  TCustomComPort other;
  other.SetPort(tap);
  EXPECT_THROW(other.Open(), EComPort);
  EXPECT_TRUE(monitor.Listening());

  // Stopping gives the list back to the link's own traffic.
  QTest::mouseClick(monitor.BListen, Qt::LeftButton);
  EXPECT_FALSE(monitor.Listening());
  EXPECT_FALSE(monitor.ListenBanner->isVisible());
  EXPECT_EQ(monitor.BListen->text(), QString::fromUtf8("Прослушивание линии…"));
  EXPECT_EQ(monitor.windowTitle(), QString::fromUtf8("Монитор обмена"));
  EXPECT_TRUE(monitor.Statistics->isVisible());
  EXPECT_EQ(FramedHex(monitor.Lines()).size(), logged().size()) << "the link's own frames, recorded meanwhile";
  other.Open();  // let go of
  EXPECT_TRUE(other.Connected());
  other.Close();
}

TEST_F(ListenWindow, ThePortOfTheMainWindowIsRefusedAndTheAdapterDelayExplained) {
  Form().OpenMonitor();
  TFormMonitor& monitor = Form().Monitor();
  EXPECT_FALSE(monitor.StartListening(sim->Name(), 19200, LineFrame{'N', 2}));
  EXPECT_FALSE(monitor.Listening());
  ASSERT_FALSE(boxes.Boxes.empty());
  EXPECT_NE(boxes.Boxes.back().Text.find("открыт главным окном"), std::string::npos) << boxes.Boxes.back().Text;
  EXPECT_FALSE(monitor.ListenBanner->isVisible());

  // 16 ms of an FTDI adapter hide the 3.5 characters at 115200 (0.3 ms) and
  // at 9600 (4 ms), not at 1200 (32 ms); 1 ms and no timer say nothing.
  const LineFrame n2{'N', 2};
  EXPECT_NE(AdapterDelayWarning(16, 115200, n2).find("Установите 1 мс"), std::string::npos);
  EXPECT_NE(AdapterDelayWarning(16, 9600, n2).find("16 мс"), std::string::npos);
  EXPECT_EQ(AdapterDelayWarning(16, 1200, n2), "");
  EXPECT_EQ(AdapterDelayWarning(1, 115200, n2), "");
  EXPECT_EQ(AdapterDelayWarning(-1, 115200, n2), "");
}

}  // namespace
