#include "FinderWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "EComPort.h"
#include "Endpoint.h"
#include "FinderSweep.h"
#include "FrameText.h"
#include "HandlerGuard.h"
#include "Ob_TModBCl.h"
#include "PortTable.h"
#include "WindowLook.h"
#include "obrport.h"

namespace {
const char* const kCaption = "Поиск устройств";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// "1:05": minutes and seconds.
QString Duration(std::chrono::milliseconds ms) {
  const long long seconds = (ms.count() + 999) / 1000;
  return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

QString ParityName(char parity) {
  return parity == 'E' ? Text("чёт") : parity == 'O' ? Text("нечёт") : Text("нет");
}

QString ResultName(const ProbeResult& r) {
  switch (r.Kind) {
    case ProbeKind::Answer: return Text("ответ");
    case ProbeKind::Exception: return Text("исключение %1").arg(r.ExceptionCode);
    case ProbeKind::Noise: return Text("помехи");
    case ProbeKind::Nothing: break;
  }
  return {};
}

QStringList CheckedTexts(const std::vector<QCheckBox*>& boxes) {
  QStringList texts;
  for (const QCheckBox* box : boxes)
    if (box->isChecked()) texts << box->text();
  return texts;
}

// The first time it is shown: beside the main window rather than over it
// where the screen has room for it, else at the screen's right edge level
// with it; always whole on the screen.
void PlaceBeside(QWidget* window, const QWidget* main) {
  const QScreen* screen = main->screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QMargins frame(8, 30, 8, 8);  // the window manager's decorations, roughly
  const QRect busy = main->frameGeometry();
  const int width = window->width() + frame.left() + frame.right();
  const int height = std::min(window->height(), area.height() - frame.top() - frame.bottom());
  window->resize(window->width(), height);
  int left = area.right() + 1 - width;
  if (busy.right() + width <= area.right())
    left = busy.right() + 1;
  else if (busy.left() - width >= area.left())
    left = busy.left() - width;
  const int top = std::clamp(busy.top(), area.top(), area.bottom() + 1 - height - frame.top() - frame.bottom());
  window->move(std::max(left, area.left()), top);
}
}  // namespace

TFormFinder::TFormFinder(TForm1& main) : QWidget(nullptr, Qt::Window), main_(main) {
  setWindowTitle(Text(kCaption));
  setFont(WindowFont(8));
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  BuildControls();
  resize(560, 600);

  ticker_ = new QTimer(this);
  ticker_->setInterval(250);
  connect(ticker_, &QTimer::timeout, this, [this] { ShowElapsed(); });
  ShowIdle();
}

TFormFinder::~TFormFinder() = default;

void TFormFinder::BuildControls() {
  const ScanPlan defaults = DefaultScanPlan();

  PortBox = new QComboBox(this);
  PortBox->setEditable(true);
  PortBox->setInsertPolicy(QComboBox::NoInsert);
  PortBox->setMinimumContentsLength(10);
  PortBox->setToolTip(Text("COM-порт, путь к устройству, rtuovertcp://адрес:порт или tcp://адрес[:порт]"));
  NetworkNote = new QLabel(Text("Сетевой порт: скорость и кадр не действуют, перебираются только адреса."), this);
  NetworkNote->setWordWrap(true);
  NetworkNote->setVisible(false);
  connect(PortBox, &QComboBox::currentTextChanged, this, [this] { ShowPortKind(); });

  AddressEdit = new QLineEdit("1-31", this);
  AddressEdit->setToolTip(Text("номера от 1 до 247: 1-31, 1,5,10-20"));

  // The rates devices are met at, in that order: more than the port dialog
  // lists, since a device found at 38400 is still worth finding (the link
  // sets any of them; "Применить" gives it the one found).
  auto* rates = new QHBoxLayout;
  for (const int baud : defaults.Bauds) {
    auto* box = new QCheckBox(QString::number(baud), this);
    box->setChecked(true);
    RateChecks.push_back(box);
    rates->addWidget(box);
  }
  rates->addStretch(1);

  auto* frames = new QHBoxLayout;
  for (const LineFrame& frame : OfferedFrames) {
    auto* box = new QCheckBox(QString::fromStdString(frame.Name()), this);
    box->setChecked(std::find(defaults.Frames.begin(), defaults.Frames.end(), frame) != defaults.Frames.end());
    FrameChecks.push_back(box);
    frames->addWidget(box);
  }
  frames->addStretch(1);
  for (QCheckBox* box : FrameChecks)
    box->setToolTip(Text("чётность (N — нет, E — чёт, O — нечёт) и число стоп-битов"));

  ProbeEdit = new QLineEdit("03 00 00 00 01", this);
  ProbeEdit->setToolTip(Text("код функции и данные запроса в шестнадцатеричном виде"));
  MarginSpin = new QSpinBox(this);
  MarginSpin->setRange(0, 5000);
  MarginSpin->setValue(defaults.MarginMs);
  MarginSpin->setSuffix(Text(" мс"));
  MarginSpin->setToolTip(Text("сколько ждать ответа сверх времени самого запроса на линии"));
  auto* probeRow = new QHBoxLayout;
  probeRow->addWidget(ProbeEdit, 1);
  probeRow->addSpacing(12);
  probeRow->addWidget(new QLabel(Text("Запас на ответ:"), this));
  probeRow->addWidget(MarginSpin);

  StopBox = new QComboBox(this);
  StopBox->addItems({Text("опросить все адреса на всех настройках"),
                     Text("остановиться на первом найденном устройстве"),
                     Text("после первого устройства — только его настройка")});

  auto* inputs = new QFormLayout;
  inputs->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  inputs->addRow(Text("Порт:"), PortBox);
  inputs->addRow(QString(), NetworkNote);
  inputs->addRow(Text("Адреса:"), AddressEdit);
  inputs->addRow(Text("Скорости, бит/с:"), rates);
  inputs->addRow(Text("Кадры:"), frames);
  inputs->addRow(Text("Запрос:"), probeRow);
  inputs->addRow(Text("Остановка:"), StopBox);

  BStart = new QPushButton(Text("Начать"), this);
  BCancel = new QPushButton(Text("Отмена"), this);
  BApply = new QPushButton(Text("Применить"), this);
  BApply->setToolTip(Text("настройки выбранного устройства — в главное окно, порт открыть с ними"));
  for (QPushButton* b : {BStart, BCancel, BApply}) b->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BStart);
  buttons->addWidget(BCancel);
  buttons->addStretch(1);
  buttons->addWidget(BApply);

  Progress = new QProgressBar(this);
  Progress->setTextVisible(true);
  TimeLabel = new QLabel(this);

  Results = new QTableWidget(0, kColumns, this);
  Results->setHorizontalHeaderLabels({Text("Адрес"), Text("Скорость"), Text("Чётность"), Text("Стоп-биты"),
                                      Text("Результат"), Text("Задержка, мс")});
  Results->setSelectionBehavior(QAbstractItemView::SelectRows);
  Results->setSelectionMode(QAbstractItemView::SingleSelection);
  Results->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Results->verticalHeader()->hide();
  Results->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Results->verticalHeader()->setDefaultSectionSize(Results->fontMetrics().height() + 6);
  Results->setWordWrap(false);
  Results->horizontalHeader()->setHighlightSections(false);
  const QFontMetrics metrics(Results->font());
  const char* const samples[kColumns] = {"247", "115200", "нечёт", "Стоп-биты", "исключение 11", "999,9"};
  for (int c = 0; c < kColumns; ++c)
    Results->setColumnWidth(c, std::max(metrics.horizontalAdvance(Text(samples[c])),
                                        metrics.horizontalAdvance(Results->horizontalHeaderItem(c)->text())) +
                                   24);

  Status = new QLabel(this);
  Status->setWordWrap(true);
  Status->setTextFormat(Qt::PlainText);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(inputs);
  layout->addLayout(buttons);
  layout->addWidget(Progress);
  layout->addWidget(TimeLabel);
  layout->addWidget(Results, 1);
  layout->addWidget(Status);

  connect(BStart, &QPushButton::clicked, this, [this] { Guarded([this] { StartClick(); }); });
  connect(BCancel, &QPushButton::clicked, this, [this] { Guarded([this] { CancelClick(); }); });
  connect(BApply, &QPushButton::clicked, this, [this] { Guarded([this] { ApplyClick(); }); });
  connect(Results, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
}

void TFormFinder::showEvent(QShowEvent* event) {
  if (!placed_) {
    placed_ = true;
    PlaceBeside(this, &main_);
  }
  if (!running_) {
    // The port table as it is now; the main window's port chosen.
    const QString current = QString::fromStdString(main_.ComPort1.Port());
    PortBox->clear();
    for (const PortInfo& port : ListSerialPorts()) PortBox->addItem(QString::fromStdString(port.Name));
    PortBox->setCurrentText(current);
  }
  QWidget::showEvent(event);
}

void TFormFinder::closeEvent(QCloseEvent* event) {
  Abandon();
  event->accept();
}

void TFormFinder::ShowPortKind() {
  const bool network = HasNetworkScheme(PortBox->currentText().trimmed().toStdString());
  NetworkNote->setVisible(network);
  for (QCheckBox* box : RateChecks) box->setEnabled(!network && !running_);
  for (QCheckBox* box : FrameChecks) box->setEnabled(!network && !running_);
}

bool TFormFinder::ReadPlan(ScanPlan& plan, QString& error) const {
  plan = DefaultScanPlan();
  std::string detail;
  if (PortBox->currentText().trimmed().isEmpty()) return error = Text("Укажите порт."), false;
  if (!ParseAddressList(AddressEdit->text().toStdString(), plan.Addresses, detail))
    return error = Text("Адреса: номера от 1 до 247, например 1-31 или 1,5,10-20."), false;
  if (!ParseBaudList(CheckedTexts(RateChecks).join(',').toStdString(), plan.Bauds, detail))
    return error = Text("Отметьте хотя бы одну скорость."), false;
  if (!ParseFrameList(CheckedTexts(FrameChecks).join(',').toStdString(), plan.Frames, detail))
    return error = Text("Отметьте хотя бы один кадр."), false;
  switch (ReadProbe(ProbeEdit->text().toStdString(), plan.Probe)) {
    case ProbeRefusal::None:
      break;
    case ProbeRefusal::NotHex:
    case ProbeRefusal::NotSent:
      return error = Text("Запрос: байты в шестнадцатеричном виде, первым код функции (") +
                     QString::fromStdString(ProbeCodesHex()) + Text("), например 03 00 00 00 01."),
             false;
    case ProbeRefusal::ChangesDevice:
      return error = Text("Запрос %1 изменяет данные устройства: поиск посылает только "
                          "читающие запросы (%2).")
                         .arg(ProbeEdit->text().remove(QRegularExpression("\\s")).left(2).toUpper(),
                              QString::fromStdString(ProbeCodesHex())),
             false;
    case ProbeRefusal::TooLong:
      return error = Text("Запрос слишком длинный: после кода функции не больше %1 байт.")
                         .arg(kMaxProbeData),
             false;
  }
  plan.MarginMs = MarginSpin->value();
  plan.Stop = static_cast<StopRule>(std::clamp(StopBox->currentIndex(), 0, 2));
  return true;
}

void TFormFinder::StartClick() {
  if (running_) return;
  ScanPlan plan;
  QString error;
  if (!ReadPlan(plan, error)) return SetStatus(error, true);

  Results->setRowCount(0);
  heard_.clear();
  sweptPort_ = PortBox->currentText().trimmed().toStdString();
  // The port opens once: the main window lets go of it for the sweep.
  main_.Dispatcher.StopPolling();
  mainPortWasOpen_ = main_.ComPort1.Connected();
  main_.Link.ClosePort();
  reopenPending_ = true;

  sweep_ = std::make_unique<TFinderSweep>(sweptPort_, std::move(plan));
  sweep_->OnProgress = [this](const TFinderSweep::Progress& p) { ShowProgress(p.Done, p.Planned, p.Remaining); };
  sweep_->OnHeard = [this](const ProbeResult& r) { AddRow(r); };
  sweep_->OnFinished = [this](bool cancelled, const QString& failure) {
    Guarded([&] { Finished(cancelled, failure); });
  };
  running_ = true;
  cancelling_ = false;
  remaining_ = {};
  elapsed_.start();
  ticker_->start();
  ShowIdle();
  Progress->setRange(0, 0);
  SetStatus(Text("Поиск на %1…").arg(QString::fromStdString(sweptPort_)));
  sweep_->Start();
}

void TFormFinder::CancelClick() {
  if (!running_) return;
  sweep_->Cancel();
  cancelling_ = true;
  BCancel->setEnabled(false);
  SetStatus(Text("Отмена…"));
}

void TFormFinder::ShowProgress(size_t done, size_t planned, std::chrono::milliseconds remaining) {
  // Cancelled, the plan shrinks to what was done; the bar keeps showing how far it got.
  if (!cancelling_) Progress->setRange(0, static_cast<int>(std::max<size_t>(planned, 1)));
  Progress->setValue(static_cast<int>(done));
  Progress->setFormat(Text("%v из %m"));
  remaining_ = remaining;
  ShowElapsed();
}

void TFormFinder::ShowElapsed() {
  if (!elapsed_.isValid()) return TimeLabel->clear();
  const QString took = Duration(std::chrono::milliseconds(elapsed_.elapsed()));
  TimeLabel->setText(running_ ? Text("Прошло %1, осталось не больше %2").arg(took, Duration(remaining_))
                              : Text("Заняло %1").arg(took));
}

void TFormFinder::AddRow(const ProbeResult& r) {
  heard_.push_back(r);
  const int row = Results->rowCount();
  Results->insertRow(row);
  const QString latency =
      r.LatencyMs ? QLocale(QLocale::Russian).toString(*r.LatencyMs, 'f', 1) : QString::fromUtf8("—");
  const QString cells[kColumns] = {QString::number(r.Address), QString::number(r.Setting.Baud),
                                   ParityName(r.Setting.Frame.Parity), QString::number(r.Setting.Frame.StopBits),
                                   ResultName(r), latency};
  const QString heard = Text("принято: %1").arg(QString::fromStdString(HexText(r.Answer)));
  for (int c = 0; c < kColumns; ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    item->setToolTip(heard);
    if (c != ColResult) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (r.DevicePresent()) {
      QFont bold = Results->font();
      bold.setBold(true);
      item->setFont(bold);  // among the noise of the wrong settings
    } else {
      item->setForeground(Qt::darkGray);
    }
    Results->setItem(row, c, item);
  }
  Results->scrollToBottom();
}

void TFormFinder::Finished(bool cancelled, const QString& error) {
  sweep_->Wait();  // its last word came: the thread is ending, its port closed
  running_ = false;
  ticker_->stop();
  ReopenMainPort();
  if (!cancelled && error.isEmpty()) Progress->setValue(Progress->maximum());
  ShowIdle();
  ShowElapsed();
  // A device may answer at more than one setting (where the line cannot tell them apart).
  std::set<int> devices;
  for (const ProbeResult& r : heard_)
    if (r.DevicePresent()) devices.insert(r.Address);
  if (!error.isEmpty())
    SetStatus(Text("Порт %1: %2").arg(QString::fromStdString(sweptPort_), error), true);
  else
    SetStatus(Text(cancelled ? "Поиск отменён. Найдено устройств: %1." : "Поиск закончен. Найдено устройств: %1.")
                  .arg(devices.size()));
}

void TFormFinder::Abandon() {
  if (!sweep_) return;
  sweep_->Cancel();
  sweep_.reset();  // waits for the thread; what it still had to say is dropped
  if (running_) {
    running_ = false;
    ticker_->stop();
    SetStatus(Text("Поиск прерван."));
  }
  ReopenMainPort();
  ShowIdle();
}

void TFormFinder::ReopenMainPort() {
  if (!reopenPending_) return;
  reopenPending_ = false;
  if (!mainPortWasOpen_) return;
  try {
    main_.ComPort1.Open();  // the same port object: its name and line settings are as they were
  } catch (const EComPort& e) {
    main_.Boxes().ShowMessage("Порт главного окна " + main_.ComPort1.Port() + " не открылся снова: " + e.what(),
                              kCaption, MsgIcon::Error, MsgButtons::Ok);
  }
}

void TFormFinder::ApplyClick() {
  const int row = Results->currentRow();
  if (running_ || row < 0 || row >= static_cast<int>(heard_.size()) || !heard_[row].DevicePresent()) return;
  const ProbeResult found = heard_[static_cast<size_t>(row)];
  const LineSetting& s = found.Setting;
  if (found.Address >= 1 && found.Address <= main_.CBoxUstr->count()) {
    main_.CBoxUstr->setCurrentIndex(main_.CBoxUstr->findText(QString::number(found.Address)));
    main_.CBoxUstrClick();
  }
  main_.SetPortAndOpen(sweptPort_, std::to_string(s.Baud), std::string(1, s.Frame.Parity),
                       std::to_string(s.Frame.StopBits));
  if (FormPort) FormPort->Preselect(s.Baud, s.Frame.Parity, s.Frame.StopBits);
  const QString setting = Text("%1, %2 бит/с, чётность %3, стоп-битов %4")
                              .arg(QString::fromStdString(sweptPort_))
                              .arg(s.Baud)
                              .arg(ParityName(s.Frame.Parity))
                              .arg(s.Frame.StopBits);
  if (main_.ComPort1.Connected())
    SetStatus(Text("Главное окно: %1, устройство %2.").arg(setting).arg(found.Address));
  else
    SetStatus(Text("Порт не открылся: %1.").arg(setting), true);
}

void TFormFinder::SelectionChanged() {
  const int row = Results->currentRow();
  BApply->setEnabled(!running_ && !Results->selectedItems().isEmpty() && row >= 0 &&
                     row < static_cast<int>(heard_.size()) && heard_[static_cast<size_t>(row)].DevicePresent());
}

void TFormFinder::ShowIdle() {
  for (QWidget* input : std::initializer_list<QWidget*>{PortBox, AddressEdit, ProbeEdit, MarginSpin, StopBox})
    input->setEnabled(!running_);
  ShowPortKind();
  BStart->setEnabled(!running_);
  BCancel->setEnabled(running_);
  SelectionChanged();
}

void TFormFinder::SetStatus(const QString& text, bool error) {
  SetTextColour(Status, error ? kRed : palette().color(QPalette::WindowText));
  Status->setText(text);
}
