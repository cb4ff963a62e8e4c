#include "ListenDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AdapterDelay.h"
#include "FrameText.h"
#include "ListeningPort.h"
#include "PortTable.h"
#include "WindowLook.h"
#include "obrport.h"

std::string AdapterDelayWarning(int latencyTimerMs, int32_t rate, const LineFrame& frame) {
  const LineFormat format = FormatOf(rate, frame);
  if (!AdapterDelayHidesSilence(latencyTimerMs, format)) return {};
  const int64_t silenceUs = InterFrameGap(format).count() / 1000;
  return "Адаптер отдаёт байты с задержкой до " + std::to_string(latencyTimerMs) +
         " мс (latency_timer), это больше паузы в 3,5 символа (" + MsText(silenceUs) +
         " мс): паузы между кадрами показывают адаптер, а не линию. Установите 1 мс (см. README).";
}

TListenDialog::TListenDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Прослушивание линии"));
  setFont(WindowFont(8));
  CBoxPort = new QComboBox(this);
  CBoxPort->setEditable(true);
  for (const PortInfo& port : ListSerialPorts())
    CBoxPort->addItem(QString::fromStdString(port.Name) + QString::fromUtf8(" — ") + PortDescriptionText(port),
                      QString::fromStdString(port.Name));
  CBoxRate = new QComboBox(this);
  for (int32_t rate : LinkRates) CBoxRate->addItem(QString::number(rate), rate);
  CBoxRate->setCurrentText("9600");
  CBoxParity = new QComboBox(this);
  CBoxParity->addItems({"N", "E", "O"});
  CBoxStop = new QComboBox(this);
  CBoxStop->addItems({"1", "2"});
  CBoxStop->setCurrentText("2");
  LabelAdapter = new QLabel(this);
  LabelAdapter->setWordWrap(true);
  auto* note = new QLabel(QString::fromUtf8("Порт открывается только на приём: в линию не передаётся ни байта. "
                                            "Кадры чужого мастера находятся по длине и контрольной сумме."),
                          this);
  note->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8("Порт"), CBoxPort);
  form->addRow(QString::fromUtf8("Скорость"), CBoxRate);
  form->addRow(QString::fromUtf8("Чётность"), CBoxParity);
  form->addRow(QString::fromUtf8("Стоп-биты"), CBoxStop);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("Слушать"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("Отмена"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addLayout(form);
  layout->addWidget(LabelAdapter);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  for (QComboBox* box : {CBoxPort, CBoxRate, CBoxParity, CBoxStop})
    connect(box, &QComboBox::currentTextChanged, this, [this] { DescribeAdapter(); });
  resize(460, sizeHint().height());
  DescribeAdapter();
}

std::string TListenDialog::PortName() const {
  const QVariant name = CBoxPort->currentData();
  const QString typed = CBoxPort->currentText();
  if (name.isValid() && typed == CBoxPort->itemText(CBoxPort->currentIndex())) return name.toString().toStdString();
  return typed.section(QString::fromUtf8(" — "), 0, 0).trimmed().toStdString();
}

int32_t TListenDialog::Rate() const { return CBoxRate->currentText().toInt(); }

LineFrame TListenDialog::Frame() const {
  return LineFrame{CBoxParity->currentText().toStdString()[0], CBoxStop->currentText().toInt()};
}

void TListenDialog::DescribeAdapter() {
  const int latency = LatencyTimerOf(PortName());
  std::string text = latency >= 0 ? "latency_timer адаптера: " + std::to_string(latency) + " мс. " : "";
  text += AdapterDelayWarning(latency, Rate(), Frame());
  LabelAdapter->setText(QString::fromStdString(text));
  SetTextColour(LabelAdapter, AdapterDelayWarning(latency, Rate(), Frame()).empty() ? Qt::black : kRed);
}
