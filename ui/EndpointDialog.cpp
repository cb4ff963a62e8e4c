#include "EndpointDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogLook.h"
#include "WindowLook.h"

namespace {
// Examples for each kind, in the list's order.
const char* const kExamples[] = {
    "адрес:порт сервера COM-портов, например 192.168.1.50:4001",
    "адрес[:порт] устройства или шлюза Modbus TCP, порт по умолчанию 502",
    "путь к устройству, например /dev/ttyUSB0 или \\\\.\\COM12",
};
}  // namespace

TFormEndpoint::TFormEndpoint(QWidget* parent) : QDialog(parent) {
  SetUpDialog(this, "Сетевой порт или путь к устройству", 400, 150);
  DialogLabel(this, "Вид:", 16, 18, 40, 13);
  Kind = DialogList(this,
                    {QString::fromUtf8("RTU поверх TCP"), QString::fromUtf8("Modbus TCP"),
                     QString::fromUtf8("путь к устройству")},
                    80, 12, 160, 24);
  DialogLabel(this, "Адрес:", 16, 54, 50, 13);
  Address = new QLineEdit(this);
  Address->setGeometry(80, 49, 304, 24);
  Address->setFont(WindowFont(10));
  Hint = new QLabel(this);
  Hint->setGeometry(16, 80, 368, 30);
  Hint->setWordWrap(true);
  Hint->setFont(WindowFont(7));
  OK = new QPushButton("OK", this);
  OK->setGeometry(122, 116, 75, 25);
  OK->setDefault(true);
  Cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
  Cancel->setGeometry(206, 116, 75, 25);
  connect(Kind, &QComboBox::currentIndexChanged, this, [this] { ShowHint(); });
  connect(Address, &QLineEdit::textChanged, this, [this] { ShowHint(); });
  connect(OK, &QPushButton::clicked, this, [this] { Accept(); });
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  ShowHint();
}

EndpointKind TFormEndpoint::KindAt(int index) {
  switch (index) {
    case 1: return EndpointKind::ModbusTcp;
    case 2: return EndpointKind::DevicePath;
    default: return EndpointKind::RtuOverTcp;
  }
}

QString TFormEndpoint::Describe(const std::string& name) {
  const auto endpoint = ParseEndpoint(name);
  if (!endpoint) return QString::fromStdString(name);
  switch (endpoint->Kind) {
    case EndpointKind::RtuOverTcp:
      return QString::fromUtf8("RTU/TCP %1, линию настраивает сервер")
          .arg(QString::fromStdString(HostPortText(*endpoint)));
    case EndpointKind::ModbusTcp:
      return QString::fromUtf8("Modbus TCP %1, без настроек линии")
          .arg(QString::fromStdString(HostPortText(*endpoint)));
    case EndpointKind::DevicePath: return QString::fromUtf8("путь к устройству: %1").arg(QString::fromStdString(name));
    case EndpointKind::SerialName: break;
  }
  return QString::fromStdString(name);
}

std::optional<std::string> TFormEndpoint::Ask(const std::string& current) {
  if (const auto endpoint = ParseEndpoint(current); endpoint && endpoint->Kind != EndpointKind::SerialName) {
    Kind->setCurrentIndex(endpoint->Kind == EndpointKind::ModbusTcp ? 1
                          : endpoint->Kind == EndpointKind::DevicePath ? 2
                                                                        : 0);
    const auto scheme = current.find("://");
    Address->setText(QString::fromStdString(scheme == std::string::npos ? current : current.substr(scheme + 3)));
  }
  Address->setFocus();
  Address->selectAll();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return chosen_;
}

void TFormEndpoint::ShowHint() {
  Hint->setStyleSheet(QString());
  Hint->setText(QString::fromUtf8(kExamples[std::clamp(Kind->currentIndex(), 0, 2)]));
}

void TFormEndpoint::Accept() {
  const auto name = ComposeEndpoint(KindAt(Kind->currentIndex()), Address->text().toStdString());
  if (!name) {
    Hint->setStyleSheet("color: #b00000");
    Hint->setText(QString::fromUtf8("Неверный адрес. ") + QString::fromUtf8(kExamples[std::clamp(Kind->currentIndex(), 0, 2)]));
    return;
  }
  chosen_ = *name;
  accept();
}
