#include "obrport.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

#include "ComPort.h"
#include "ComPortClass.h"
#include "DialogLook.h"
#include "EndpointDialog.h"
#include "HandlerGuard.h"
#include "LineSettings.h"
#include "WindowLook.h"

TFormPort* FormPort = nullptr;

namespace {
// "/dev/ttyUSB0 — FT232R USB UART"; a description that already names the device stands alone.
QString DeviceText(const QString& device, const QString& description) {
  if (description.isEmpty()) return device;
  if (description.contains(device)) return description;
  return device + QString::fromUtf8(" — ") + description;
}
}  // namespace

QString PortDescriptionText(const PortInfo& port) {
  QString description = QString::fromStdString(port.Description);
  // The adapter's own delay, named as the system names it, in our units.
  if (port.LatencyTimerMs >= 0 && description.endsWith(" ms")) description.replace(description.size() - 2, 2, QString::fromUtf8("мс"));
  switch (port.Origin) {
    case PortOrigin::Registered:
      return QString::fromUtf8("зарегистрирован программой: ") + QString::fromStdString(port.Device);
    case PortOrigin::Driver:
      return QString::fromUtf8("драйвер ") + description;
    case PortOrigin::Usb:     // the adapter's own names
    case PortOrigin::System:  // as the system names it
      break;
  }
  return description;
}

QString PortUserText(const PortUser& user) {
  if (user.SystemConsole) return QString::fromUtf8("системная консоль");
  QString text = QString::fromUtf8("занят");
  if (!user.Program.empty()) text += ": " + QString::fromStdString(user.Program);
  if (user.Pid > 0)
    text += user.Program.empty() ? QString::fromUtf8(": процесс %1").arg(user.Pid)
                                 : QString(" (%1)").arg(user.Pid);
  if (user.Program.empty() && user.Pid <= 0) text += QString::fromUtf8(" другой программой");
  return text;
}

TFormPort::TFormPort(TComPortClass& link, QWidget* parent) : QDialog(parent), link_(link) {
  SetUpDialog(this, "Настройка СОМ-порта", 291, 211);

  Label1 = DialogLabel(this, "СОМ-порт", 32, 22, 59, 13);
  CBoxPort = DialogList(this, {}, 160, 16, 89, 24);
  // The list shows beside each name the device it stands for; the text stays the bare name.
  auto* ports = new QStandardItemModel(0, 2, CBoxPort);
  auto* view = new QTreeView(CBoxPort);
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  CBoxPort->setModel(ports);
  CBoxPort->setView(view);
  CBoxPort->setModelColumn(0);

  LabelDevice = new QLabel(this);
  LabelDevice->setFont(WindowFont(7));
  LabelDevice->setGeometry(32, 41, 250, 15);
  LabelDevice->setTextFormat(Qt::PlainText);

  Label11 = DialogLabel(this, "Скорость(бит/с):", 32, 64, 102, 13);
  Skor = DialogList(this, Rates(), 160, 58, 89, 24);
  Label12 = DialogLabel(this, "Четность:", 32, 104, 61, 13);
  Parit = DialogList(this, {QString::fromUtf8("нет"), QString::fromUtf8("нечет"), QString::fromUtf8("чет")},
                     160, 99, 89, 24);
  Label13 = DialogLabel(this, "Стоповые биты:", 32, 144, 96, 13);
  StBit = DialogList(this, {"1", "2"}, 159, 138, 89, 24);

  OK = new QPushButton("OK", this);
  OK->setGeometry(113, 180, 65, 25);
  OK->setAutoDefault(false);

  // In the free space right of the list, so that no control moves.
  BEndpoint = new QToolButton(this);
  BEndpoint->setText(QString::fromUtf8("…"));
  BEndpoint->setGeometry(253, 17, 24, 22);
  // Not in the dialog's tab order, which stays as it is: reached by the mouse.
  BEndpoint->setFocusPolicy(Qt::ClickFocus);
  BEndpoint->setToolTip(QString::fromUtf8("Сетевой порт (RTU поверх TCP, Modbus TCP) или путь к устройству…"));
  FormEndpoint = new TFormEndpoint(this);

  setTabOrder(Skor, Parit);
  setTabOrder(Parit, StBit);
  setTabOrder(StBit, OK);
  setTabOrder(OK, CBoxPort);

  connect(OK, &QPushButton::clicked, this, [this] {
    setResult(mrOk);
    Guarded([this] { OKClick(); });
    done(result());
  });
  connect(CBoxPort, &QComboBox::currentIndexChanged, this, [this](int index) { ShowDevice(index); });
  connect(BEndpoint, &QToolButton::clicked, this, [this] { Guarded([this] { BEndpointClick(); }); });
  FormCreate();
}

QStringList TFormPort::Rates() { return {"9600", "19200", "57600", "115200"}; }

void TFormPort::Preselect(const std::string& port, int baud, char parity, int stopBits) {
  preselectedPort_ = QString::fromStdString(port);
  const QString rate = QString::number(baud);
  if (const int item = static_cast<int>(Rates().indexOf(rate)); item >= 0) {
    SpeedItem = item;
  } else {
    extraRate_ = rate;
    SpeedItem = static_cast<int32_t>(Rates().size());
  }
  if (const int item = QString("NOE").indexOf(QChar(parity)); item >= 0) ParityItem = item;
  if (stopBits == 1 || stopBits == 2) StopBitsItem = stopBits - 1;
}

void TFormPort::FormCreate() {
  SpeedItem = 0;
  ParityItem = 0;
  StopBitsItem = 1;
}

void TFormPort::FormShow() {
  auto* ports = static_cast<QStandardItemModel*>(CBoxPort->model());
  CBoxPort->clear();
  ports->setColumnCount(2);
  // The four rates, and the one put in force elsewhere while it is the choice.
  const int fixedRates = static_cast<int>(Rates().size());
  if (SpeedItem < fixedRates) extraRate_.clear();
  while (Skor->count() > fixedRates) Skor->removeItem(Skor->count() - 1);
  if (!extraRate_.isEmpty()) Skor->addItem(extraRate_);
  Skor->setCurrentIndex(SpeedItem);
  Parit->setCurrentIndex(ParityItem);
  StBit->setCurrentIndex(StopBitsItem);
  WasOpen = link_.ComPort().Connected();
  link_.ClosePort();  // so that the port in use is probed like any other

  // The ports that can be used; then, greyed out, the ones in use, with
  // who holds them where the system shows it.
  std::vector<std::pair<PortInfo, PortUser>> busy;
  for (const PortInfo& port : ListPorts()) {
    if (!Probe(port.Name)) {
      if (const auto user = FindUser(port.Name)) busy.emplace_back(port, *user);
      continue;
    }
    ports->appendRow(PortRow(port, QString()));
  }
  const int usable = ports->rowCount();
  if (!TypedEndpoint.empty()) AddEndpointRow(usable);
  for (const auto& [port, user] : busy) {
    QList<QStandardItem*> row = PortRow(port, PortUserText(user));
    for (QStandardItem* item : row) item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    ports->appendRow(row);
  }
  auto* view = static_cast<QTreeView*>(CBoxPort->view());
  view->resizeColumnToContents(0);
  view->resizeColumnToContents(1);
  view->setMinimumWidth(view->columnWidth(0) + view->columnWidth(1) + 8);

  // The port put in force elsewhere (the finder) while it is the choice;
  // else the typed one when it was the port chosen last; else the first listed.
  const int selectable = ports->rowCount() - static_cast<int>(busy.size());
  const bool typedInUse = !TypedEndpoint.empty() && link_.PortName == TypedEndpoint;
  int first = typedInUse ? usable : selectable > 0 ? 0 : -1;
  if (!preselectedPort_.isEmpty())
    if (const int item = CBoxPort->findText(preselectedPort_); item >= 0 && item < selectable) first = item;
  CBoxPort->setCurrentIndex(first);
  ShowDevice(CBoxPort->currentIndex());
}

int TFormPort::EndpointRow() const {
  for (int row = 0; row < CBoxPort->count(); ++row)
    if (CBoxPort->itemData(row, Qt::UserRole + 1).toBool()) return row;
  return -1;
}

void TFormPort::AddEndpointRow(int row) {
  const QString name = QString::fromStdString(TypedEndpoint);
  const QString where = TFormEndpoint::Describe(TypedEndpoint);
  auto* nameItem = new QStandardItem(name);
  auto* placeItem = new QStandardItem(where);
  for (QStandardItem* item : {nameItem, placeItem}) item->setToolTip(where);
  nameItem->setData(true, Qt::UserRole + 1);
  static_cast<QStandardItemModel*>(CBoxPort->model())->insertRow(row, {nameItem, placeItem});
}

void TFormPort::BEndpointClick() {
  const auto typed = FormEndpoint->Ask(TypedEndpoint);
  if (!typed) return;
  TypedEndpoint = *typed;
  int row = EndpointRow();
  if (row >= 0) CBoxPort->removeItem(row);
  else {
    // After the usable ports, before the greyed-out ones.
    row = 0;
    while (row < CBoxPort->count() && (static_cast<QStandardItemModel*>(CBoxPort->model())->item(row)->flags() & Qt::ItemIsEnabled)) ++row;
  }
  AddEndpointRow(row);
  CBoxPort->setCurrentIndex(row);
  ShowDevice(row);
}

QList<QStandardItem*> TFormPort::PortRow(const PortInfo& port, const QString& inUse) {
  const QString device = QString::fromStdString(port.Device);
  QString where = DeviceText(device, PortDescriptionText(port));
  if (!inUse.isEmpty()) where = inUse + QString::fromUtf8(" — ") + where;
  auto* name = new QStandardItem(QString::fromStdString(port.Name));
  auto* place = new QStandardItem(where);
  name->setToolTip(where);
  place->setToolTip(where);
  name->setData(device, Qt::UserRole);
  return {name, place};
}

void TFormPort::ShowDevice(int index) {
  const QString tip = index >= 0 ? CBoxPort->itemData(index, Qt::ToolTipRole).toString() : QString();
  LabelDevice->setText(LabelDevice->fontMetrics().elidedText(tip, Qt::ElideMiddle, LabelDevice->width()));
  LabelDevice->setToolTip(tip);
  CBoxPort->setToolTip(tip);
}

void TFormPort::OKClick() {
  const LineFrame chosen{"NOE"[std::clamp(Parit->currentIndex(), 0, 2)], StBit->currentIndex() + 1};
  if (CheckLineFrame(chosen) != FrameRefusal::None) {
    setResult(mrRefused);  // even parity with two stop bits is not offered
    return;
  }
  SpeedItem = Skor->currentIndex();
  ParityItem = Parit->currentIndex();
  StopBitsItem = StBit->currentIndex();
  // Another port chosen: the operator's own choice from now on.
  if (CBoxPort->currentText() != preselectedPort_) preselectedPort_.clear();
}

void TFormPort::FormClose() {
  if (WasOpen && result() == mrCancel) link_.OpenPort();
}

void TFormPort::done(int result) {
  // Closing by the close button rejects; that is the cancel of this dialog.
  if (result == QDialog::Rejected) result = mrCancel;
  setResult(result);
  // A port that fails to reopen is reported, but the dialog closes all the same.
  Guarded([this] { FormClose(); });
  QDialog::done(result);
}

void TFormPort::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    Guarded([this] { FormShow(); });
    Skor->setFocus();  // the first control in tab order
  }
  QDialog::showEvent(event);
}

void TFormPort::keyPressEvent(QKeyEvent* event) {
  // No button of this dialog is its cancel button: Escape does nothing.
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}
