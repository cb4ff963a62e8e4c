#include "FinderWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
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
#include "OperatorInterface.h"
#include "PortTable.h"
#include "WindowLook.h"
#include "WindowPlacement.h"

namespace {
const char* const kCaption = "Поиск устройств";
const QSize kPreferredSize(560, 600);

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

}  // namespace

TFormFinder::TFormFinder(FinderHost& host, OperatorInterface& boxes, const QWidget* beside)
    : QWidget(nullptr, Qt::Window), host_(host), boxes_(boxes), beside_(beside) {
  setWindowTitle(Text(kCaption));
  setFont(WindowFont(8));
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  BuildControls();
  resize(kPreferredSize);

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
  // Two rows of four, so that the window fits beside the main window.
  auto* rates = new QGridLayout;
  for (const int baud : defaults.Bauds) {
    auto* box = new QCheckBox(QString::number(baud), this);
    box->setChecked(true);
    const int at = static_cast<int>(RateChecks.size());
    RateChecks.push_back(box);
    rates->addWidget(box, at / 4, at % 4);
  }
  rates->setColumnStretch(4, 1);

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

  NoiseChoice = new QCheckBox(Text("показывать помехи"), this);
  NoiseChoice->setChecked(true);
  NoiseChoice->setToolTip(Text("ответы, которые не сошлись: по строке на настройку, с числом запросов"));

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
  Results->setTabKeyNavigation(false);  // Tab goes on to the next control
  Results->horizontalHeader()->setHighlightSections(false);
  Results->horizontalHeader()->setSectionResizeMode(ColResult, QHeaderView::Stretch);
  const QFontMetrics metrics(Results->font());
  const char* const samples[kColumns] = {"200–247", "115200", "нечёт", "Стоп-биты", "исключение 11", "999,9"};
  int columns = 0;
  for (int c = 0; c < kColumns; ++c) {
    Results->setColumnWidth(c, std::max(metrics.horizontalAdvance(Text(samples[c])),
                                        metrics.horizontalAdvance(Results->horizontalHeaderItem(c)->text())) +
                                   12);
    columns += Results->columnWidth(c);
  }
  // Narrowed beside the main window, the window keeps every column in view.
  Results->setMinimumWidth(columns + 2 * Results->frameWidth());

  Status = new QLabel(this);
  Status->setWordWrap(true);
  Status->setTextFormat(Qt::PlainText);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(inputs);
  layout->addLayout(buttons);
  layout->addWidget(Progress);
  layout->addWidget(TimeLabel);
  layout->addWidget(NoiseChoice);
  layout->addWidget(Results, 1);
  layout->addWidget(Status);

  connect(BStart, &QPushButton::clicked, this, [this] { Guarded([this] { StartClick(); }); });
  connect(BCancel, &QPushButton::clicked, this, [this] { Guarded([this] { CancelClick(); }); });
  connect(BApply, &QPushButton::clicked, this, [this] { Guarded([this] { ApplyClick(); }); });
  connect(Results, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(NoiseChoice, &QCheckBox::toggled, this, [this] { ShowRows(); });
}

void TFormFinder::showEvent(QShowEvent* event) {
  if (!placed_ && beside_) {
    placed_ = true;
    PlaceBeside(this, beside_, kPreferredSize, Side::Right);
  }
  if (!running_) {
    // The port table as it is now; the main window's port chosen.
    const QString current = QString::fromStdString(host_.PortName());
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

  heard_.clear();
  rows_.clear();
  ShowRows();
  sweptPort_ = PortBox->currentText().trimmed().toStdString();
  ReleaseMainPort();

  sweep_ = std::make_unique<TFinderSweep>(sweptPort_, std::move(plan));
  // Queued, with the sweep as the receiving context: what it still has on
  // its way when it goes (the window closed mid-sweep) goes with it.
  TFinderSweep* sweep = sweep_.get();
  connect(sweep, &TFinderSweep::Progressed, sweep,
          [this](const TFinderSweep::Progress& p) { ShowProgress(p.Done, p.Planned, p.Remaining); },
          Qt::QueuedConnection);
  connect(sweep, &TFinderSweep::Probed, sweep,
          [this](const ProbeResult& r) { Guarded([&] { Heard(r); }); }, Qt::QueuedConnection);
  connect(sweep, &TFinderSweep::Finished, sweep,
          [this](bool cancelled, const QString& failure) { Guarded([&] { Finished(cancelled, failure); }); },
          Qt::QueuedConnection);
  running_ = true;
  cancelling_ = false;
  remaining_ = {};
  elapsed_.start();
  ticker_->start();
  ShowIdle();
  Progress->setRange(0, 0);
  SetStatus(Text("Поиск на %1…").arg(QString::fromStdString(sweptPort_)) + pollingNote_);
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

void TFormFinder::Heard(const ProbeResult& r) {
  host_.ShowProbe(r);  // every probe, for the traffic monitor
  if (r.Kind == ProbeKind::Nothing) return;
  heard_.push_back(r);
  // Noise is one row per setting, with its count: a noisy line would
  // otherwise bury the devices under a row per address.
  if (r.Kind == ProbeKind::Noise) {
    for (Row& row : rows_)
      if (row.NoiseCount > 0 && row.First.Setting == r.Setting) {
        ++row.NoiseCount;
        row.LastAddress = r.Address;
        const auto at = std::find(shown_.begin(), shown_.end(), static_cast<size_t>(&row - rows_.data()));
        if (at != shown_.end()) FillRow(static_cast<int>(at - shown_.begin()), row);
        return;
      }
  }
  rows_.push_back({r, r.Kind == ProbeKind::Noise ? 1 : 0, r.Address});
  if (r.Kind == ProbeKind::Noise && !NoiseChoice->isChecked()) return;
  shown_.push_back(rows_.size() - 1);
  const int row = Results->rowCount();
  Results->insertRow(row);
  FillRow(row, rows_.back());
  Results->scrollToBottom();
}

void TFormFinder::ShowRows() {
  shown_.clear();
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].NoiseCount == 0 || NoiseChoice->isChecked()) shown_.push_back(i);
  Results->setRowCount(static_cast<int>(shown_.size()));
  for (size_t i = 0; i < shown_.size(); ++i) FillRow(static_cast<int>(i), rows_[shown_[i]]);
  SelectionChanged();
}

void TFormFinder::FillRow(int row, const Row& entry) {
  const ProbeResult& r = entry.First;
  const bool noise = entry.NoiseCount > 0;
  const QString latency = !noise && r.LatencyMs ? QLocale(QLocale::Russian).toString(*r.LatencyMs, 'f', 1)
                                                : QString::fromUtf8("—");
  QString address = QString::number(r.Address);
  if (noise && entry.LastAddress != r.Address) address += Text("–%1").arg(entry.LastAddress);
  const QString result = noise ? Text("помехи: %1").arg(entry.NoiseCount) : ResultName(r);
  const QString cells[kColumns] = {address, QString::number(r.Setting.Baud), ParityName(r.Setting.Frame.Parity),
                                   QString::number(r.Setting.Frame.StopBits), result, latency};
  const QString heard = noise ? Text("помехи при %1 запросах, первые принятые байты: %2")
                                    .arg(entry.NoiseCount)
                                    .arg(QString::fromStdString(HexText(r.Answer)))
                              : Text("принято: %1").arg(QString::fromStdString(HexText(r.Answer)));
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
    SetStatus(Text("Порт %1: %2").arg(QString::fromStdString(sweptPort_), error) + pollingNote_, true);
  else
    SetStatus(Text(cancelled ? "Поиск отменён. Найдено устройств: %1." : "Поиск закончен. Найдено устройств: %1.")
                  .arg(devices.size()) + pollingNote_);
}

void TFormFinder::Abandon() {
  if (!sweep_) return;
  sweep_->Cancel();
  sweep_.reset();  // waits for the thread; what it still had to say is dropped
  const bool wasRunning = running_;
  running_ = false;
  ticker_->stop();
  ReopenMainPort();
  if (wasRunning) SetStatus(Text("Поиск прерван.") + pollingNote_);
  ShowIdle();
  ShowElapsed();  // "Заняло …": nothing is left to go
}

void TFormFinder::ReleaseMainPort() {
  // The port opens once: the main window lets go of it for the sweep.
  released_ = host_.ReleasePort();
  pollingNote_ = released_->PollingStopped ? Text(" Опрос «Цикл» главного окна остановлен на время поиска.")
                                           : QString();
}

void TFormFinder::ReopenMainPort() {
  if (!released_) return;
  const FinderHost::Release released = *released_;
  released_.reset();
  const FinderHost::Restore restored = host_.RestorePort(released);
  if (released.PollingStopped)
    pollingNote_ = restored.PollingResumed ? Text(" Опрос «Цикл» главного окна возобновлён.")
                                           : Text(" Опрос «Цикл» главного окна не возобновлён: порт не открылся.");
  if (!restored.Error.empty())
    boxes_.ShowMessage("Порт главного окна " + host_.PortName() + " не открылся снова: " + restored.Error,
                       kCaption, MsgIcon::Error, MsgButtons::Ok);
}

void TFormFinder::ApplyClick() {
  const int row = Results->currentRow();
  if (running_ || row < 0 || row >= static_cast<int>(shown_.size())) return;
  const ProbeResult found = rows_[shown_[static_cast<size_t>(row)]].First;
  if (!found.DevicePresent()) return;
  const LineSetting& s = found.Setting;
  if (found.Address < 1 || found.Address > host_.LastAddress())
    return SetStatus(Text("Устройство %1 главное окно опросить не может: «Устр. №» — от 1 до %2. "
                          "Настройки не применены.")
                         .arg(found.Address)
                         .arg(host_.LastAddress()),
                     true);
  const bool opened = host_.Apply(sweptPort_, s, found.Address);
  const QString setting = Text("%1, %2 бит/с, чётность %3, стоп-битов %4")
                              .arg(QString::fromStdString(sweptPort_))
                              .arg(s.Baud)
                              .arg(ParityName(s.Frame.Parity))
                              .arg(s.Frame.StopBits);
  if (opened)
    SetStatus(Text("Главное окно: %1, устройство %2.").arg(setting).arg(found.Address));
  else
    SetStatus(Text("Порт не открылся: %1.").arg(setting), true);
}

void TFormFinder::SelectionChanged() {
  const int row = Results->currentRow();
  BApply->setEnabled(!running_ && !Results->selectedItems().isEmpty() && row >= 0 &&
                     row < static_cast<int>(shown_.size()) && rows_[shown_[static_cast<size_t>(row)]].First.DevicePresent());
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
