// TFormPort, the port settings dialog: the serial port, speed, parity and
// stop bits. The port is closed while the dialog is shown.
#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DialogResult.h"
#include "PortTable.h"

class QComboBox;
class QLabel;
class QPushButton;
class QStandardItem;
class QToolButton;
class TComPortClass;
class TFormEndpoint;

// A port's description in the window's words: "драйвер serial8250 (ttyS0)",
// "зарегистрирован программой: /dev/pts/1", a USB adapter's own names.
QString PortDescriptionText(const PortInfo& port);

// "занят: minicom (1234)", "системная консоль": who holds a port in use.
QString PortUserText(const PortUser& user);

class TFormPort : public QDialog {
  Q_OBJECT
public:
  static constexpr int mrOk = ::mrOk;
  static constexpr int mrCancel = ::mrCancel;
  static constexpr int mrRefused = ::mrRefused;

  explicit TFormPort(TComPortClass& link, QWidget* parent = nullptr);

  QLabel* Label1;
  QComboBox* CBoxPort;
  QLabel* LabelDevice;  // the device the chosen name stands for
  QLabel* Label11;
  QComboBox* Skor;
  QLabel* Label12;
  QComboBox* Parit;
  QLabel* Label13;
  QComboBox* StBit;
  QPushButton* OK;
  // Beside the list: a port typed by the operator (a network endpoint or a
  // device path), in a dialog of its own; it joins the list after the COM ports.
  QToolButton* BEndpoint;
  TFormEndpoint* FormEndpoint;

  // The last accepted choices and whether the port was open at the latest showing.
  int32_t SpeedItem = 0;
  int32_t ParityItem = 0;
  int32_t StopBitsItem = 1;
  bool WasOpen = false;
  // The port typed last, listed at every showing (empty: none).
  std::string TypedEndpoint;

  // Where the ports come from; the machine's port table unless a test says otherwise.
  std::function<std::vector<PortInfo>()> ListPorts = ListSerialPorts;
  std::function<bool(const std::string&)> Probe = ProbePort;
  std::function<std::optional<PortUser>(const std::string&)> FindUser = FindPortUser;

  // The rates offered, in their order in the list.
  static QStringList Rates();
  // A setting put in force elsewhere (the device finder's "Применить"): the
  // next showings select that port and rate until OK accepts another. A
  // rate outside the four is shown as a fifth item, and kept while it is
  // the one chosen, so that OK never silently changes the line.
  void Preselect(const std::string& port, int baud, char parity, int stopBits);

  void FormCreate();
  void FormShow();
  void OKClick();
  void FormClose();
  void BEndpointClick();

  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void ShowDevice(int index);
  // The typed port's row in the list, or -1.
  int EndpointRow() const;
  void AddEndpointRow(int row);
  // The name and the device it stands for; `inUse` says who holds it.
  static QList<QStandardItem*> PortRow(const PortInfo& port, const QString& inUse);

  TComPortClass& link_;
  QString preselectedPort_;  // empty: the first port, as always
  QString extraRate_;        // the fifth item of Skor, or empty
};

extern TFormPort* FormPort;
