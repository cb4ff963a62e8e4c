// The port settings dialog with the machine's port table, over
// pseudo-terminals registered as COM ports.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>

#include <QLineEdit>
#include <QToolButton>

#include "DialogDriver.h"
#include "EndpointDialog.h"
#include "TcpPeer.h"
#include "Ob_TModBCl.h"
#include "PortDirectory.h"
#include "ScratchPorts.h"
#include "UiTestApp.h"
#include "obrport.h"

namespace {

class PortDialog : public DialogTest {
protected:
  QDialog* Dialog() override { return FormPort; }
  static int IndexOf(QComboBox* list, const QString& text) { return list->findText(text); }
  static void PressOK() { QTest::mouseClick(FormPort->OK, Qt::LeftButton); }

  ScratchPorts ports;
};

TEST_F(PortDialog, Layout) {
  TFormPort& d = *FormPort;
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Настройка СОМ-порта"));
  EXPECT_NE(d.windowTitle(), "Настройка COM-порта");  // Cyrillic С, О, М
  EXPECT_EQ(d.size(), QSize(291, 211));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  EXPECT_FALSE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(d.Label1->text(), QString::fromUtf8("СОМ-порт"));
  EXPECT_EQ(d.Label11->text(), QString::fromUtf8("Скорость(бит/с):"));
  EXPECT_EQ(d.Label12->text(), QString::fromUtf8("Четность:"));
  EXPECT_EQ(d.Label13->text(), QString::fromUtf8("Стоповые биты:"));
  EXPECT_EQ(d.Label1->pos(), QPoint(32, 22));
  EXPECT_EQ(d.Label13->pos(), QPoint(32, 144));
  EXPECT_EQ(d.CBoxPort->geometry(), QRect(160, 16, 89, 24));
  EXPECT_EQ(d.Skor->geometry(), QRect(160, 58, 89, 24));
  EXPECT_EQ(d.Parit->geometry(), QRect(160, 99, 89, 24));
  EXPECT_EQ(d.StBit->geometry(), QRect(159, 138, 89, 24));
  EXPECT_EQ(d.OK->geometry(), QRect(113, 180, 65, 25));
  EXPECT_EQ(d.OK->text(), "OK");
  const QStringList speeds = {"9600", "19200", "57600", "115200"};
  const QStringList parities = {QString::fromUtf8("нет"), QString::fromUtf8("нечет"), QString::fromUtf8("чет")};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.Skor->itemText(i), speeds[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d.Parit->itemText(i), parities[i]);
  EXPECT_EQ(d.StBit->itemText(0), "1");
  EXPECT_EQ(d.StBit->itemText(1), "2");
  EXPECT_EQ(d.Skor->font().pointSizeF(), 10.0);
  EXPECT_TRUE(d.Label11->font().bold());
  EXPECT_EQ(d.Label11->palette().color(QPalette::WindowText), QColor(0, 128, 128));
  EXPECT_EQ(NextTabStop(d.Skor), d.Parit);
  EXPECT_EQ(NextTabStop(d.Parit), d.StBit);
  EXPECT_EQ(NextTabStop(d.StBit), d.OK);
  EXPECT_EQ(NextTabStop(d.OK), d.CBoxPort);
  EXPECT_EQ(NextTabStop(d.CBoxPort), d.Skor);
}

TEST_F(PortDialog, ListsTheUsablePortsWithTheirDevicesAndOKOpensTheChosenOne) {
  PtyPair& com9 = ports.Add(9);
  ports.Add(12);
  ports.Hold(12);  // held by another program: listed last, greyed out
  ports.Add(13);
  ports.HoldWithoutLock(13);  // open in a program that takes no lock: the same
  PtyPair& com10 = ports.Add(10);

  driver->Steps.push_back([&] {
    TFormPort& d = *FormPort;
    EXPECT_EQ(d.Skor->currentText(), "9600");
    EXPECT_EQ(d.Parit->currentText(), QString::fromUtf8("нет"));
    EXPECT_EQ(d.StBit->currentText(), "2");
    EXPECT_EQ(QApplication::focusWidget(), d.Skor);
    const int at9 = IndexOf(d.CBoxPort, "COM9");
    const int at10 = IndexOf(d.CBoxPort, "COM10");
    ASSERT_GE(at9, 0);
    EXPECT_EQ(at10, at9 + 1);  // by number: COM9 before COM10
    for (const char* held : {"COM12", "COM13"}) {
      const int at = IndexOf(d.CBoxPort, held);
      ASSERT_GT(at, at10) << held << ": after the free ports";
      const auto* model = static_cast<QStandardItemModel*>(d.CBoxPort->model());
      EXPECT_FALSE(model->item(at, 0)->isEnabled()) << held;
      EXPECT_TRUE(model->item(at, 1)->text().startsWith(QString::fromUtf8("занят"))) << held;
    }
    EXPECT_EQ(d.CBoxPort->currentIndex(), 0);
    Choose(d.CBoxPort, at10);
    EXPECT_EQ(d.CBoxPort->currentText(), "COM10");  // the bare name
    EXPECT_TRUE(d.LabelDevice->text().contains(QString::fromStdString(com10.SlavePath())));
    EXPECT_TRUE(d.CBoxPort->toolTip().contains(QString::fromStdString(com10.SlavePath())));
    Choose(d.CBoxPort, at9);
    EXPECT_TRUE(d.LabelDevice->text().contains(QString::fromStdString(com9.SlavePath())));
    PressOK();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(driver->Shown, 1);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(Form().Link.PortName, "COM9");
  EXPECT_EQ(Form().Link.BaudText, "9600");
  EXPECT_EQ(Form().Link.ParityText, "N");
  EXPECT_EQ(Form().Link.StopBitsText, "2");
  ASSERT_TRUE(Form().ComPort1.Connected());
  EXPECT_EQ(Form().ComPort1.Port(), "COM9");

  // The port is really the pseudo-terminal: bytes written reach the device side.
  const uint8_t probe[] = {0x01, 0x11};
  EXPECT_EQ(Form().ComPort1.Write(probe, 2), 2);
  EXPECT_EQ(com9.Receive(2, std::chrono::milliseconds(2000)), Bytes({0x01, 0x11}));

  // The port in use is listed again: the dialog closes it before probing.
  driver->Steps.push_back([&] {
    EXPECT_FALSE(Form().ComPort1.Connected());
    EXPECT_GE(IndexOf(FormPort->CBoxPort, "COM9"), 0);
    FormPort->close();  // the close button: cancel, which reopens the port
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_TRUE(Form().ComPort1.Connected());
  EXPECT_EQ(Form().ComPort1.Port(), "COM9");
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(PortDialog, APortGoneWhileTheDialogIsOpenIsReportedAndTheDialogStillCloses) {
  ports.Add(9);
  driver->Steps.push_back([] {
    Choose(FormPort->CBoxPort, IndexOf(FormPort->CBoxPort, "COM9"));
    PressOK();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  ASSERT_TRUE(Form().ComPort1.Connected());

  driver->Steps.push_back([&] {
    ports.Remove(9);  // the adapter is unplugged
    FormPort->close();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_FALSE(FormPort->isVisible());
  EXPECT_FALSE(Form().ComPort1.Connected());
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[0].Text, kPortLostText);
  EXPECT_EQ(boxes.Boxes[1].Caption, "modbus-tester");  // the application's error display
  EXPECT_EQ(boxes.Boxes[1].Text.rfind("Unable to open com port", 0), 0u) << boxes.Boxes[1].Text;
  EXPECT_EQ(boxes.Boxes[1].Icon, MsgIcon::Error);
  EXPECT_FALSE(Form().isVisible());  // the link closed the main window
}

TEST_F(PortDialog, CancelLeavesAClosedPortClosed) {
  ports.Add(9);
  driver->Steps.push_back([] { FormPort->close(); });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(driver->Shown, 1);
  EXPECT_FALSE(Form().ComPort1.Connected());
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(Form().Link.PortName, "COM1");  // nothing written
}

TEST_F(PortDialog, EvenParityWithTwoStopBitsIsRefused) {
  ports.Add(9);
  // First accept 19200, odd, one stop bit, on COM9.
  driver->Steps.push_back([&] {
    Choose(FormPort->CBoxPort, IndexOf(FormPort->CBoxPort, "COM9"));
    Choose(FormPort->Skor, 1);
    Choose(FormPort->Parit, 1);
    Choose(FormPort->StBit, 0);
    PressOK();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(Form().Link.ParityText, "O");
  EXPECT_EQ(Form().Link.StopBitsText, "1");
  EXPECT_EQ(Form().Link.BaudText, "19200");
  ASSERT_TRUE(Form().ComPort1.Connected());
  EXPECT_EQ(Form().ComPort1.Parity().Bits(), prOdd);
  EXPECT_EQ(Form().ComPort1.StopBits(), sbOneStopBit);
  EXPECT_EQ(Form().ComPort1.BaudRate(), br19200);

  // Then even with two: refused; Retry shows the accepted items again.
  driver->Steps.push_back([&] {
    EXPECT_EQ(FormPort->Skor->currentText(), "19200");
    Choose(FormPort->Parit, 2);
    Choose(FormPort->StBit, 1);
    PressOK();
  });
  driver->Steps.push_back([&] {
    EXPECT_EQ(FormPort->Skor->currentText(), "19200");
    EXPECT_EQ(FormPort->Parit->currentText(), QString::fromUtf8("нечет"));
    EXPECT_EQ(FormPort->StBit->currentText(), "1");
    EXPECT_FALSE(Form().ComPort1.Connected());
    Choose(FormPort->Parit, 2);
    Choose(FormPort->StBit, 1);
    PressOK();
  });
  boxes.Answers = {MsgResult::Retry, MsgResult::Cancel};
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(driver->Shown, 3);
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  for (const RecordedBox& box : boxes.Boxes) {
    EXPECT_EQ(box.Text, "Ошибочные данные ");
    EXPECT_EQ(box.Caption, "Ошибка");
    EXPECT_EQ(box.Icon, MsgIcon::Error);
    EXPECT_EQ(box.Buttons, MsgButtons::RetryCancel);
  }
  // Cancel leaves the port closed and the link settings as they were.
  EXPECT_FALSE(Form().ComPort1.Connected());
  EXPECT_EQ(Form().Link.ParityText, "O");
  EXPECT_EQ(Form().Link.StopBitsText, "1");

  // After a Retry the new showing saw the port closed: cancelling it keeps it closed.
  boxes.Clear();
  driver->Steps.push_back([&] {
    Choose(FormPort->Parit, 2);
    Choose(FormPort->StBit, 1);
    PressOK();
  });
  driver->Steps.push_back([] { FormPort->close(); });
  boxes.Answers = {MsgResult::Retry};
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_FALSE(Form().ComPort1.Connected());
}

TEST_F(PortDialog, APortThatDoesNotOpenIsReportedWithCode132) {
  FormPort->ListPorts = [] { return std::vector<PortInfo>{}; };
  driver->Steps.push_back([] {
    EXPECT_EQ(FormPort->CBoxPort->count(), 0);
    EXPECT_EQ(FormPort->CBoxPort->currentText(), "");
    EXPECT_EQ(FormPort->LabelDevice->text(), "");
    PressOK();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(Form().Link.PortName, "");
  EXPECT_FALSE(Form().ComPort1.Connected());
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, " невозможно открыть последовательный порт ");
  EXPECT_EQ(boxes.Boxes[0].Caption, "Предупреждение");
  EXPECT_EQ(boxes.Boxes[0].Icon, MsgIcon::Warning);
}

TEST_F(PortDialog, OnlyProbedPortsAreListedInTableOrderWithTheirDescriptions) {
  FormPort->ListPorts = [] {
    return std::vector<PortInfo>{{"COM1", "/dev/ttyS0", "serial8250 (ttyS0)", PortOrigin::Driver},
                                 {"COM2", "/dev/ttyS1", "serial8250 (ttyS1)", PortOrigin::Driver},
                                 {"COM5", "/dev/ttyUSB0", "FT232R USB UART", PortOrigin::Usb},
                                 {"COM9", "/dev/pts/1", "registered: /dev/pts/1", PortOrigin::Registered}};
  };
  FormPort->Probe = [](const std::string& name) { return name != "COM2"; };
  FormPort->FindUser = [](const std::string&) { return std::optional<PortUser>(); };
  driver->Steps.push_back([] {
    TFormPort& d = *FormPort;
    ASSERT_EQ(d.CBoxPort->count(), 3);
    EXPECT_EQ(d.CBoxPort->itemText(0), "COM1");
    EXPECT_EQ(d.CBoxPort->itemText(1), "COM5");
    EXPECT_EQ(d.CBoxPort->currentText(), "COM1");
    // In the window's words; the command line keeps the English of the port table.
    EXPECT_EQ(d.LabelDevice->text(), QString::fromUtf8("/dev/ttyS0 — драйвер serial8250 (ttyS0)"));
    EXPECT_EQ(d.CBoxPort->model()->index(2, 1).data().toString(),
              QString::fromUtf8("зарегистрирован программой: /dev/pts/1"));
    Choose(d.CBoxPort, 1);
    EXPECT_EQ(d.LabelDevice->text(), QString::fromUtf8("/dev/ttyUSB0 — FT232R USB UART"));
    // The drop-down list shows the device beside each name.
    const QModelIndex device = d.CBoxPort->model()->index(1, 1);
    EXPECT_EQ(device.data().toString(), QString::fromUtf8("/dev/ttyUSB0 — FT232R USB UART"));
    d.close();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(driver->Shown, 1);
}

// Ports in use are listed after the free ones, greyed out, with who holds
// them; they cannot be chosen.
TEST_F(PortDialog, PortsInUseShowWhoHoldsThemAndCannotBeChosen) {
  FormPort->ListPorts = [] {
    return std::vector<PortInfo>{{"COM1", "/dev/ttyS0", "serial8250"},
                                 {"COM2", "/dev/ttyS1", "serial8250"},
                                 {"COM5", "/dev/ttyUSB0", "FT232R USB UART"}};
  };
  FormPort->Probe = [](const std::string& name) { return name == "COM5"; };
  FormPort->FindUser = [](const std::string& name) {
    PortUser user;
    if (name == "COM1") user.SystemConsole = true;
    if (name == "COM2") {
      user.Pid = 4242;
      user.Program = "minicom";
    }
    return std::optional<PortUser>(user);
  };
  driver->Steps.push_back([] {
    TFormPort& d = *FormPort;
    ASSERT_EQ(d.CBoxPort->count(), 3);
    EXPECT_EQ(d.CBoxPort->itemText(0), "COM5");
    EXPECT_EQ(d.CBoxPort->currentText(), "COM5");
    EXPECT_EQ(d.CBoxPort->model()->index(1, 1).data().toString(),
              QString::fromUtf8("системная консоль — /dev/ttyS0 — serial8250"));
    EXPECT_EQ(d.CBoxPort->model()->index(2, 1).data().toString(),
              QString::fromUtf8("занят: minicom (4242) — /dev/ttyS1 — serial8250"));
    d.CBoxPort->setFocus();
    QTest::keyClick(d.CBoxPort, Qt::Key_Down);
    QTest::keyClick(d.CBoxPort, Qt::Key_End);
    EXPECT_EQ(d.CBoxPort->currentText(), "COM5") << "a port in use cannot be chosen";
    d.close();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(driver->Shown, 1);

  // Nothing free: nothing chosen.
  FormPort->Probe = [](const std::string&) { return false; };
  driver->Steps.push_back([] {
    EXPECT_EQ(FormPort->CBoxPort->count(), 3);
    EXPECT_EQ(FormPort->CBoxPort->currentIndex(), -1);
    EXPECT_EQ(FormPort->CBoxPort->currentText(), "");
    FormPort->close();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_EQ(PortUserText(PortUser{}), QString::fromUtf8("занят другой программой"));
}

}  // namespace

TEST_F(PortDialog, ATypedNetworkEndpointJoinsTheListIsRememberedAndOpens) {
  ports.Add(9);
  TcpPeer peer([](const PeerBytes& r) {
    // Modbus TCP: register 0 of the unit holds 0x002A.
    return PeerAnswer{{{r[0], r[1], 0, 0, 0, 5, r[6], 0x03, 0x02, 0x00, 0x2A}}};
  });
  const std::string endpoint = "tcp://127.0.0.1:" + std::to_string(peer.Port());
  DialogDriver typing(FormPort->FormEndpoint);
  typing.Steps.push_back([&] {
    TFormEndpoint& e = *FormPort->FormEndpoint;
    Choose(e.Kind, 1);  // Modbus TCP
    QTest::keyClicks(e.Address, "127.0.0.1:99999");
    QTest::mouseClick(e.OK, Qt::LeftButton);
    EXPECT_TRUE(e.isVisible()) << "a malformed address keeps the dialog open";
    EXPECT_TRUE(e.Hint->text().startsWith(QString::fromUtf8("Неверный адрес")));
    e.Address->clear();
    QTest::keyClicks(e.Address, QString::fromStdString("127.0.0.1:" + std::to_string(peer.Port())));
    QTest::mouseClick(e.OK, Qt::LeftButton);
  });
  driver->Steps.push_back([&] {
    TFormPort& d = *FormPort;
    EXPECT_EQ(d.BEndpoint->geometry(), QRect(253, 17, 24, 22));
    EXPECT_EQ(d.CBoxPort->geometry(), QRect(160, 16, 89, 24)) << "nothing moved for it";
    QTest::mouseClick(d.BEndpoint, Qt::LeftButton);
    EXPECT_EQ(typing.Shown, 1);
    EXPECT_EQ(d.CBoxPort->currentText(), QString::fromStdString(endpoint));
    EXPECT_TRUE(d.LabelDevice->toolTip().contains("Modbus TCP")) << d.LabelDevice->toolTip().toStdString();
    EXPECT_EQ(IndexOf(d.CBoxPort, "COM9"), 0) << "after the COM ports";
    PressOK();
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(Form().Link.PortName, endpoint);
  ASSERT_TRUE(Form().ComPort1.Connected());
  uint8_t answer[300] = {};
  const uint8_t read[] = {0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(Form().Link.Transact(0, 3, 4, read, answer, sizeof answer), 0);
  EXPECT_EQ(answer[4], 0x2A);

  // Shown again: the typed port is listed and, being the port in use, chosen.
  driver->Steps.push_back([&] {
    EXPECT_EQ(FormPort->CBoxPort->currentText(), QString::fromStdString(endpoint));
    EXPECT_GE(IndexOf(FormPort->CBoxPort, "COM9"), 0);
    FormPort->close();  // cancel: the endpoint is connected again
  });
  QTest::mouseClick(Form().Button2, Qt::LeftButton);
  EXPECT_TRUE(Form().ComPort1.Connected());
  EXPECT_EQ(peer.Accepted(), 2);
}
