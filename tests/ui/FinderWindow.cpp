// "Поиск устройств" against the modbus-sim program (whose devices hear only
// the line setting they were started with), with real clicks and keys: a
// device found at its address and setting and given to the main window,
// cancelling, closing the window during a sweep, refused inputs.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <signal.h>

#include "ComPort.h"
#include "EntryEdit.h"
#include "FinderWindow.h"
#include "Ob_TModBCl.h"
#include "SimTestSupport.h"
#include "UiTestApp.h"
#include "WindowTools.h"
#include "obrport.h"

namespace {

class FinderWindow : public WindowTest {
protected:
  void TearDown() override {
    WindowTest::TearDown();
    if (sim) {
      EXPECT_EQ(sim->Stop(SIGTERM), 0);
    }
  }

  void StartSim(const std::vector<std::string>& args) {
    sim = std::make_unique<SimProcess>(args);
    ASSERT_TRUE(sim->WaitStarted()) << sim->Output();
  }
  // The main window's port on the simulator, set as "Настройка порта" sets it.
  void OpenMainPort(const char* baud, const char* parity, const char* stop) {
    TForm1& f = Form();
    f.Link.SetTxDelay(1);
    f.Link.SetRxDelay(1);
    f.SetPortAndOpen(sim->Name(), baud, parity, stop);
    ASSERT_TRUE(f.ComPort1.Connected());
  }
  // Ctrl+F with the focus in the request entry, whose key filter refuses letters.
  TFormFinder& OpenByKeys() {
    TForm1& f = Form();
    QTest::mouseClick(f.EditZapr, Qt::LeftButton);
    QTest::keyClick(f.EditZapr, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(f.Finder().isVisible());
    EXPECT_EQ(f.EditZapr->text(), "0");
    return f.Finder();
  }
  static void Type(QWidget* field, const char* text) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QString::fromUtf8(text));
  }
  static void Tick(const std::vector<QCheckBox*>& boxes, const QStringList& wanted) {
    for (QCheckBox* box : boxes) {
      if (box->isChecked() != wanted.contains(box->text())) QTest::mouseClick(box, Qt::LeftButton);
      EXPECT_EQ(box->isChecked(), wanted.contains(box->text())) << box->text().toStdString();
    }
  }
  static void Fill(TFormFinder& d, const char* addresses, const QStringList& rates, const QStringList& frames,
                   const char* margin) {
    Type(d.AddressEdit, addresses);
    Tick(d.RateChecks, rates);
    Tick(d.FrameChecks, frames);
    Type(d.MarginSpin, margin);
    ASSERT_EQ(d.MarginSpin->value(), QString(margin).toInt());
  }
  static QString Cell(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString("<none>");
  }
  // "Пуск" with request 3 for one register from register 0.
  void Pusk() {
    TForm1& f = Form();
    f.EditZapr->SetText("3");
    f.EditDat1->SetText("0");
    f.EditDat2->SetText("1");
    QTest::mouseClick(f.Button1, Qt::LeftButton);
  }

  TempRuntimeDir runtime;
  std::unique_ptr<SimProcess> sim;
};

TEST_F(FinderWindow, FindsTheDeviceAndApplyGivesTheMainWindowItsSetting) {
  StartSim({"--devices", "7", "--baud", "19200", "--parity", "E", "--stop", "1"});
  OpenMainPort("9600", "N", "2");
  TFormFinder& d = OpenByKeys();
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Поиск устройств"));
  EXPECT_EQ(d.PortBox->currentText(), QString::fromStdString(sim->Name())) << "the main window's port";
  EXPECT_EQ(d.AddressEdit->text(), "1-31");
  EXPECT_EQ(d.ProbeEdit->text(), "03 00 00 00 01");
  QStringList rates, frames;
  for (const QCheckBox* box : d.RateChecks) rates << box->text();
  for (const QCheckBox* box : d.FrameChecks) frames << box->text();
  EXPECT_EQ(rates, QStringList({"9600", "19200", "38400", "57600", "115200", "4800", "2400", "1200"}));
  for (const QCheckBox* box : d.RateChecks) EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
  EXPECT_EQ(frames, QStringList({"N2", "N1", "E1", "O1", "O2"})) << "no E2";
  EXPECT_FALSE(d.BApply->isEnabled());

  Fill(d, "1-10", {"9600", "19200"}, {"N2", "E1"}, "50");
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  EXPECT_TRUE(d.Running());
  EXPECT_FALSE(Form().ComPort1.Connected()) << "the main window lets go of its port";
  EXPECT_FALSE(d.BStart->isEnabled());
  EXPECT_FALSE(d.AddressEdit->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return !d.Running(); }, 10000));
  EXPECT_EQ(d.Progress->value(), 10 * 2 * 2);
  EXPECT_EQ(d.Progress->maximum(), 10 * 2 * 2);
  EXPECT_TRUE(d.Status->text().contains(QString::fromUtf8("Найдено устройств: 1"))) << d.Status->text().toStdString();
  ASSERT_EQ(d.Results->rowCount(), 1);
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColAddress), "7");
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColBaud), "19200");
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColParity), QString::fromUtf8("чёт"));
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColStopBits), "1");
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColResult), QString::fromUtf8("ответ"));
  bool number = false;
  const double latency = QLocale(QLocale::Russian).toDouble(Cell(d.Results, 0, TFormFinder::ColLatency), &number);
  EXPECT_TRUE(number && latency >= 0) << Cell(d.Results, 0, TFormFinder::ColLatency).toStdString();
  // Its port is back as it was.
  TForm1& f = Form();
  ASSERT_TRUE(f.ComPort1.Connected());
  EXPECT_EQ(f.ComPort1.BaudRate(), br9600);
  EXPECT_EQ(f.ComPort1.StopBits(), sbTwoStopBits);
  EXPECT_TRUE(boxes.Boxes.empty());

  // The row, then "Применить".
  EXPECT_FALSE(d.BApply->isEnabled()) << "nothing selected";
  const QRect cell = d.Results->visualItemRect(d.Results->item(0, TFormFinder::ColAddress));
  QTest::mouseClick(d.Results->viewport(), Qt::LeftButton, {}, cell.center());
  ASSERT_TRUE(d.BApply->isEnabled());
  QTest::mouseClick(d.BApply, Qt::LeftButton);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(f.Link.PortName, sim->Name());
  EXPECT_EQ(f.Link.BaudText, "19200");
  EXPECT_EQ(f.Link.ParityText, "E");
  EXPECT_EQ(f.Link.StopBitsText, "1");
  ASSERT_TRUE(f.ComPort1.Connected());
  EXPECT_EQ(f.ComPort1.BaudRate(), br19200);
  EXPECT_EQ(f.ComPort1.Parity().Bits(), prEven);
  EXPECT_EQ(f.ComPort1.StopBits(), sbOneStopBit);
  EXPECT_EQ(f.CBoxUstr->currentText(), "7");
  EXPECT_EQ(f.Serv.DeviceIndex, 6);
  // The port dialog shows the same choices next time.
  EXPECT_EQ(FormPort->Skor->itemText(FormPort->SpeedItem), "19200");
  EXPECT_EQ(FormPort->ParityItem, 2) << "чет";
  EXPECT_EQ(FormPort->StopBitsItem, 0);

  // "Пуск" in the main window reaches device 7.
  f.activateWindow();
  Pusk();
  EXPECT_TRUE(boxes.Boxes.empty()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.front().Text);
  EXPECT_EQ(f.Edit(1)->text(), "7");
  EXPECT_EQ(f.Edit(2)->text(), "3");
  EXPECT_EQ(f.Edit(3)->text(), "2") << "byte count";
}

// 38400 is not among the port dialog's rates; the finder looks there too,
// and "Применить" gives the main window that rate.
TEST_F(FinderWindow, ADeviceAtARateBeyondThePortDialogsIsFoundAndApplied) {
  StartSim({"--devices", "3", "--baud", "38400", "--stop", "2"});
  OpenMainPort("9600", "N", "2");
  TFormFinder& d = OpenByKeys();
  Fill(d, "1-4", {"9600", "38400"}, {"N2"}, "50");
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !d.Running(); }, 10000));
  ASSERT_EQ(d.Results->rowCount(), 1);
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColAddress), "3");
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColBaud), "38400");
  const QRect cell = d.Results->visualItemRect(d.Results->item(0, TFormFinder::ColAddress));
  QTest::mouseClick(d.Results->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseClick(d.BApply, Qt::LeftButton);
  TForm1& f = Form();
  EXPECT_TRUE(boxes.Boxes.empty()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.front().Text);
  ASSERT_TRUE(f.ComPort1.Connected());
  EXPECT_EQ(f.ComPort1.BaudRate(), br38400);
  EXPECT_EQ(f.CBoxUstr->currentText(), "3");
  f.activateWindow();
  Pusk();
  EXPECT_TRUE(boxes.Boxes.empty()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.front().Text);
  EXPECT_EQ(f.Edit(1)->text(), "3");
  EXPECT_EQ(f.Edit(2)->text(), "3");
}

TEST_F(FinderWindow, CancelStopsWithinAProbeAndTheMainPortReopensAsItWas) {
  StartSim({"--devices", "1"});  // 9600 N2
  OpenMainPort("9600", "N", "2");
  TForm1& f = Form();
  QTest::mouseClick(f.Button3, Qt::LeftButton);  // "Цикл"
  ASSERT_TRUE(f.Timer1->isActive());

  TFormFinder& d = OpenByKeys();
  Fill(d, "2-247", TFormPort::Rates(), {"N2", "N1", "E1", "O1", "O2"}, "50");  // a minute and more
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  EXPECT_FALSE(f.Timer1->isActive()) << "polling stopped";
  EXPECT_FALSE(f.LabelCikl->isVisible());
  EXPECT_FALSE(f.ComPort1.Connected());
  ProcessEvents(500);
  ASSERT_TRUE(d.Running());
  ProcessEvents();
  const int atCancel = d.Progress->value();
  EXPECT_GT(atCancel, 2);
  EXPECT_EQ(d.Progress->maximum(), 246 * 4 * 5);
  EXPECT_TRUE(d.TimeLabel->text().contains(QString::fromUtf8("осталось"))) << d.TimeLabel->text().toStdString();
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(d.BCancel, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !d.Running(); }, 3000));
  // A probe at 9600 waits about 60 ms for an answer.
  EXPECT_LT(timer.elapsed(), 400);
  EXPECT_LE(d.Progress->value(), atCancel + 2) << "at most the probe under way";
  EXPECT_EQ(d.Progress->maximum(), 246 * 4 * 5) << "the bar shows how far it got";
  EXPECT_EQ(d.Results->rowCount(), 0);
  EXPECT_TRUE(d.Status->text().contains(QString::fromUtf8("отменён"))) << d.Status->text().toStdString();
  EXPECT_TRUE(d.BStart->isEnabled());
  EXPECT_FALSE(d.BCancel->isEnabled());

  ASSERT_TRUE(f.ComPort1.Connected());
  EXPECT_EQ(f.ComPort1.Port(), sim->Name());
  EXPECT_EQ(f.ComPort1.BaudRate(), br9600);
  EXPECT_EQ(f.ComPort1.Parity().Bits(), prNone);
  EXPECT_EQ(f.ComPort1.StopBits(), sbTwoStopBits);
  EXPECT_EQ(f.Link.BaudText, "9600");
  EXPECT_FALSE(f.Timer1->isActive()) << "polling stays stopped";
  f.activateWindow();
  Pusk();
  EXPECT_TRUE(boxes.Boxes.empty()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.front().Text);
  EXPECT_EQ(f.Edit(1)->text(), "1");
}

TEST_F(FinderWindow, ClosingDuringASweepEndsItAndTheMenuOpensItAgain) {
  StartSim({"--devices", "3", "--baud", "57600", "--stop", "1"});
  OpenMainPort("9600", "N", "2");
  TForm1& f = Form();
  TFormFinder& d = OpenByKeys();
  Fill(d, "1-247", TFormPort::Rates(), {"N2", "N1", "E1", "O1", "O2"}, "50");
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ProcessEvents(300);
  ASSERT_TRUE(d.Running());
  QElapsedTimer timer;
  timer.start();
  d.close();
  EXPECT_LT(timer.elapsed(), 400);
  EXPECT_FALSE(d.Running());
  EXPECT_FALSE(d.isVisible());
  ASSERT_TRUE(f.ComPort1.Connected()) << "reopened";
  EXPECT_EQ(f.ComPort1.BaudRate(), br9600);
  ProcessEvents(200);  // what the sweep still had queued is gone with it
  EXPECT_TRUE(boxes.Boxes.empty());

  // From the menu of a right click on the free area, a short sweep that finds device 3.
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::mouseClick(f.windowHandle(), Qt::RightButton, {}, QPoint(600, 200));
  QMenu* menu = f.Tools->Menu();
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(f.FinderAction->text(), QString::fromUtf8("Поиск устройств…"));
  EXPECT_EQ(f.FinderAction->shortcut(), QKeySequence("Ctrl+F"));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(f.FinderAction).center());
  ASSERT_TRUE(d.isVisible());
  // A wide margin: under the sanitizers on a loaded machine an answer once
  // came later than 50 ms and was heard, rightly, as noise at the next address.
  Fill(d, "1-4", {"57600"}, {"N2", "N1"}, "200");
  d.StopBox->setFocus();
  QTest::keyClick(d.StopBox, Qt::Key_Down);
  ASSERT_EQ(d.StopBox->currentText(), QString::fromUtf8("остановиться на первом найденном устройстве"));
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !d.Running(); }, 5000));
  ASSERT_EQ(d.Results->rowCount(), 1);
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColAddress), "3");
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColStopBits), "1");
  EXPECT_EQ(d.Progress->value(), 4 + 3) << "N2 at 1-4, then N1 up to the device";
  EXPECT_EQ(d.Progress->maximum(), 4 + 3);

  // The main window closed during a sweep closes the finder; its port ends closed.
  Fill(d, "1-247", TFormPort::Rates(), {"N2", "N1", "E1", "O1", "O2"}, "50");
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ProcessEvents(200);
  ASSERT_TRUE(d.Running());
  f.close();
  EXPECT_FALSE(d.Running());
  EXPECT_FALSE(d.isVisible());
  EXPECT_FALSE(f.ComPort1.Connected());
  // And once more, running when the windows are destroyed (TearDown).
  f.OpenFinder();
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ProcessEvents(100);
  EXPECT_TRUE(d.Running());
}

TEST_F(FinderWindow, BadInputsAreRefusedBeforeThePortIsTouched) {
  StartSim({"--devices", "1"});
  OpenMainPort("9600", "N", "2");
  TForm1& f = Form();
  TFormFinder& d = OpenByKeys();
  const auto refused = [&](const char* says) {
    QTest::mouseClick(d.BStart, Qt::LeftButton);
    EXPECT_FALSE(d.Running());
    EXPECT_TRUE(f.ComPort1.Connected());
    EXPECT_TRUE(d.Status->text().contains(QString::fromUtf8(says))) << d.Status->text().toStdString();
    EXPECT_EQ(d.Status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  };
  Type(d.AddressEdit, "0-3");
  refused("Адреса");
  Type(d.AddressEdit, "1-300");
  refused("Адреса");
  Type(d.AddressEdit, "1,5,10-20");
  Tick(d.RateChecks, {});
  refused("скорость");
  Tick(d.RateChecks, {"9600"});
  Tick(d.FrameChecks, {});
  refused("кадр");
  Tick(d.FrameChecks, {"N2"});
  Type(d.ProbeEdit, "46 00");
  refused("Запрос");
  Type(d.ProbeEdit, "03 00 0");
  refused("Запрос");
  Type(d.ProbeEdit, "06 00 00 00 01");
  refused("Запрос 06 изменяет данные устройства");
  Type(d.ProbeEdit, ("03" + std::string(253 * 2, '0')).c_str());
  refused("Запрос слишком длинный");
  Type(d.ProbeEdit, "04 00 00 00 01");
  Type(d.MarginSpin, "40");
  QTest::mouseClick(d.BStart, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !d.Running(); }, 5000));
  EXPECT_EQ(d.Progress->value(), 13) << "1, 5 and 10-20 at 9600 N2";
  ASSERT_EQ(d.Results->rowCount(), 1);
  EXPECT_EQ(Cell(d.Results, 0, TFormFinder::ColAddress), "1");
}

}  // namespace
