#include "TrendWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QGuiApplication>
#include <QSaveFile>
#include <QShowEvent>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

#include "ComPortClass.h"
#include "EComPort.h"
#include "HandlerGuard.h"
#include "HexBytes.h"
#include "OperatorInterface.h"
#include "TrendPlot.h"
#include "WindowLook.h"
#include "WindowPlacement.h"

namespace {
constexpr int64_t kUsPerSecond = 1'000'000;

struct WindowSpan {
  const char* Text;
  int64_t Seconds;  // 0: everything
};
constexpr WindowSpan kSpans[] = {{"10 с", 10},     {"30 с", 30},       {"1 мин", 60},     {"5 мин", 300},
                                 {"15 мин", 900},  {"1 ч", 3600},      {"6 ч", 21600},    {"24 ч", 86400},
                                 {"всё", 0}};
constexpr int kPeriods[] = {100, 200, 500, 1000, 2000, 5000, 10000};

const QColor kSeriesColours[] = {QColor(0, 90, 200),  QColor(220, 60, 0),  QColor(0, 150, 60),
                                 QColor(150, 0, 160), QColor(200, 150, 0), QColor(0, 160, 170),
                                 QColor(120, 70, 20), QColor(90, 90, 90)};

QColor SeriesColour(size_t index) { return kSeriesColours[index % std::size(kSeriesColours)]; }

constexpr ValueType kTypes[] = {ValueType::U16, ValueType::S16, ValueType::U32, ValueType::S32,
                                ValueType::U64, ValueType::S64, ValueType::F32, ValueType::F64};

int64_t MonotonicNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t SystemOffsetNowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() - MonotonicNowUs();
}

QPushButton* Button(QWidget* parent, const char* text, const char* tip) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setAutoDefault(false);
  button->setToolTip(QString::fromUtf8(tip));
  return button;
}

QSpinBox* Spin(QWidget* parent, int low, int high, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  spin->setValue(value);
  return spin;
}

QTableWidget* Table(QWidget* parent, const QStringList& titles) {
  auto* table = new QTableWidget(0, static_cast<int>(titles.size()), parent);
  table->setHorizontalHeaderLabels(titles);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

// Seconds with the precision a person reads: "12,345 с", "2 ч 05 мин".
QString DurationText(int64_t us) {
  const double seconds = std::abs(static_cast<double>(us)) / kUsPerSecond;
  const QLocale russian(QLocale::Russian);
  if (seconds < 3600) return russian.toString(seconds, 'f', 3) + QString::fromUtf8(" с");
  const auto whole = static_cast<int64_t>(seconds);
  return QString::fromUtf8("%1 ч %2 мин").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QChar('0'));
}

// With a decimal comma, without group separators (they read as two numbers in a list).
QString Number(double value) {
  QLocale russian(QLocale::Russian);
  russian.setNumberOptions(QLocale::OmitGroupSeparator);
  return russian.toString(value, 'g', 10);
}
}  // namespace

TFormTrend::TFormTrend(TComPortClass& link, OperatorInterface& boxes, const QWidget* main)
    : QWidget(nullptr, Qt::Window),
      main_(main),
      link_(link),
      boxes_(boxes),
      follower_([this](const PollRecord& poll) { recorder_.Take(poll); }) {
  setWindowTitle(QString::fromUtf8("Тренды"));
  setFont(WindowFont(8));
  setAttribute(Qt::WA_QuitOnClose, false);
  BuildControls();
  ConnectHandlers();
  resize(980, 680);
  follower_.Attach(link_);
  ShowSeries();
  ShowPolls();
  Refresh();
}

TFormTrend::~TFormTrend() { follower_.Detach(); }

void TFormTrend::BuildControls() {
  BCycle = Button(this, "Цикл", "опрашивать список «Опрос» по очереди на порту главного окна");
  BCycle->setCheckable(true);
  PeriodChoice = new QComboBox(this);
  for (int ms : kPeriods) PeriodChoice->addItem(QString::number(ms));
  PeriodChoice->setCurrentText("1000");
  PeriodChoice->setToolTip(QString::fromUtf8("период цикла, мс: список опрашивается целиком раз в период"));
  WindowChoice = new QComboBox(this);
  for (const WindowSpan& span : kSpans) WindowChoice->addItem(QString::fromUtf8(span.Text));
  WindowChoice->setCurrentIndex(2);
  WindowChoice->setToolTip(QString::fromUtf8("сколько последних секунд показывать"));
  BPause = Button(this, "Пауза", "остановить вид; опрос и запись идут дальше");
  BClear = Button(this, "Очистить", "забыть все точки");
  BSavePng = Button(this, "PNG…", "сохранить график как картинку");
  BSaveCsv = Button(this, "CSV…", "сохранить все точки в файл CSV (разделитель «;»)");
  BLog = Button(this, "Журнал…", "писать каждый опрос строкой в файл CSV, сразу на диск");
  LogMb = Spin(this, 0, 100000, 0);
  LogMb->setSuffix(QString::fromUtf8(" МБ"));
  LogMb->setSpecialValueText(QString::fromUtf8("без предела"));
  LogMb->setToolTip(QString::fromUtf8("размер файла журнала, после которого пишется следующий (0: без предела)"));

  auto* top = new QHBoxLayout;
  top->addWidget(BCycle);
  top->addWidget(new QLabel(QString::fromUtf8("Период, мс:"), this));
  top->addWidget(PeriodChoice);
  top->addSpacing(12);
  top->addWidget(new QLabel(QString::fromUtf8("Окно:"), this));
  top->addWidget(WindowChoice);
  top->addWidget(BPause);
  top->addWidget(BClear);
  top->addStretch();

  Plot = new TTrendPlot(this);
  Markers = new QLabel(this);
  Markers->setWordWrap(true);
  Markers->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Status = new QLabel(this);
  Status->setWordWrap(true);
  // The files below, beside the status: the window stays narrow enough to
  // leave the main window's "Пуск" and "Цикл" in view on a small screen.
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Status, 1);
  for (QWidget* w : std::initializer_list<QWidget*>{BSavePng, BSaveCsv, BLog, LogMb}) bottom->addWidget(w);

  Tabs = new QTabWidget(this);
  Tabs->addTab(BuildSeriesTab(), QString::fromUtf8("Ряды"));
  Tabs->addTab(BuildPollTab(), QString::fromUtf8("Опрос"));

  auto* upper = new QWidget(this);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  upperLayout->addWidget(Plot, 1);
  upperLayout->addWidget(Markers);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(upper);
  split->addWidget(Tabs);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  split->setSizes({440, 200});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(split, 1);
  layout->addLayout(bottom);

  Ticker = new QTimer(this);
  Ticker->setInterval(kRefreshMs);
  CycleTimer = new QTimer(this);
}

QWidget* TFormTrend::BuildSeriesTab() {
  auto* page = new QWidget(this);
  SeriesTable = Table(page, {"", QString::fromUtf8("Название"), QString::fromUtf8("Устр."), QString::fromUtf8("Запрос"),
                             QString::fromUtf8("С адреса"), QString::fromUtf8("Смещение"), QString::fromUtf8("Тип"),
                             QString::fromUtf8("Порядок"), QString::fromUtf8("Масштаб"), QString::fromUtf8("Сдвиг"),
                             QString::fromUtf8("Ось"), QString::fromUtf8("Точек")});
  SeriesTable->setColumnWidth(0, 18);
  SeriesDevice = Spin(page, 1, 247, 1);
  SeriesCode = Spin(page, 1, 255, 3);
  SeriesStart = new QLineEdit(page);
  SeriesStart->setPlaceholderText(QString::fromUtf8("любой"));
  SeriesStart->setToolTip(QString::fromUtf8("первый регистр (бит), который спрашивает запрос 1–4; пусто: любой"));
  SeriesOffset = Spin(page, 0, 3000, 0);
  SeriesOffset->setToolTip(QString::fromUtf8("смещение значения в данных ответа, байт (регистр k: 2·k)"));
  SeriesType = new QComboBox(page);
  for (ValueType type : kTypes) SeriesType->addItem(QString::fromStdString(TypeName(ValueAt(0, type))));
  SeriesOrder = new QComboBox(page);
  for (ByteOrder order : kByteOrders) SeriesOrder->addItem(ByteOrderName(order));
  SeriesScale = new QLineEdit("1", page);
  SeriesShift = new QLineEdit("0", page);
  SeriesUnit = new QLineEdit(page);
  SeriesName = new QLineEdit(page);
  SeriesName->setPlaceholderText(QString::fromUtf8("по адресу"));
  SeriesAxisChoice = new QComboBox(page);
  SeriesAxisChoice->addItems({QString::fromUtf8("левая"), QString::fromUtf8("правая")});
  BAddSeries = Button(page, "Добавить ряд", "ряд с этими значениями");
  BRemoveSeries = Button(page, "Удалить ряд", "выбранный ряд");

  auto* form = new QGridLayout;
  const std::pair<const char*, QWidget*> fields[] = {
      {"Устройство", SeriesDevice}, {"Запрос", SeriesCode},   {"С адреса", SeriesStart}, {"Смещение", SeriesOffset},
      {"Тип", SeriesType},          {"Порядок", SeriesOrder}, {"Масштаб", SeriesScale},  {"Сдвиг", SeriesShift},
      {"Ед.", SeriesUnit},          {"Название", SeriesName}, {"Ось", SeriesAxisChoice}};
  // Two rows of six: the source and the value, then its reading and the buttons.
  int index = 0;
  for (const auto& [title, widget] : fields) {
    const int row = index / 6 * 2, column = index % 6;
    form->addWidget(new QLabel(QString::fromUtf8(title), page), row, column);
    form->addWidget(widget, row + 1, column);
    ++index;
  }
  form->addWidget(BAddSeries, 3, 5);
  form->addWidget(BRemoveSeries, 3, 6);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(SeriesTable, 1);
  layout->addLayout(form);
  return page;
}

QWidget* TFormTrend::BuildPollTab() {
  auto* page = new QWidget(this);
  PollTable = Table(page, {QString::fromUtf8("Устройство"), QString::fromUtf8("Запрос"), QString::fromUtf8("Данные")});
  PollDevice = Spin(page, 1, 247, 1);
  PollCode = Spin(page, 1, 255, 3);
  PollData = new QLineEdit("00 00 00 0A", page);
  PollData->setMinimumWidth(PollData->fontMetrics().horizontalAdvance("00 00 00 0A") + 8);
  PollData->setToolTip(QString::fromUtf8("данные запроса в шестнадцатеричном виде: для 1–4 начальный адрес и количество"));
  BAddPoll = Button(page, "Добавить", "запрос в список опроса");
  BRemovePoll = Button(page, "Удалить", "выбранный запрос");
  PollHint = new QLabel(QString::fromUtf8("«Цикл» опрашивает список по очереди на порту главного окна, "
                                          "между его собственными запросами; только запросы чтения."),
                        page);
  PollHint->setWordWrap(true);
  auto* form = new QHBoxLayout;
  form->addWidget(new QLabel(QString::fromUtf8("Устройство"), page));
  form->addWidget(PollDevice);
  form->addWidget(new QLabel(QString::fromUtf8("Запрос"), page));
  form->addWidget(PollCode);
  form->addWidget(new QLabel(QString::fromUtf8("Данные"), page));
  form->addWidget(PollData, 1);
  form->addWidget(BAddPoll);
  form->addWidget(BRemovePoll);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(PollTable, 1);
  layout->addLayout(form);
  layout->addWidget(PollHint);
  return page;
}

void TFormTrend::ConnectHandlers() {
  const auto on = [this](QPushButton* button, void (TFormTrend::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  on(BCycle, &TFormTrend::CycleClick);
  on(BPause, &TFormTrend::PauseClick);
  on(BClear, &TFormTrend::ClearClick);
  on(BAddSeries, &TFormTrend::AddSeriesClick);
  on(BRemoveSeries, &TFormTrend::RemoveSeriesClick);
  on(BAddPoll, &TFormTrend::AddPollClick);
  on(BRemovePoll, &TFormTrend::RemovePollClick);
  connect(BSavePng, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      const QString name = QDir::home().filePath("trend-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".png");
      const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("Сохранить PNG"), name, "PNG (*.png)");
      if (!path.isEmpty() && !SavePng(path)) Warn("Не удалось записать файл " + path.toStdString());
    });
  });
  connect(BSaveCsv, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      const QString name = QDir::home().filePath("trend-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".csv");
      const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("Сохранить CSV"), name,
                                                        QString::fromUtf8("CSV (*.csv);;Все файлы (*)"));
      if (!path.isEmpty() && !SaveCsv(path)) Warn("Не удалось записать файл " + path.toStdString());
    });
  });
  connect(BLog, &QPushButton::clicked, this, [this] {
    Guarded([this] {
      if (recorder_.Logging()) {
        StopLog();
        return;
      }
      const QString name = QDir::home().filePath("poll-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".csv");
      const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("Журнал опроса"), name,
                                                        QString::fromUtf8("CSV (*.csv);;Все файлы (*)"),
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
      if (!path.isEmpty()) StartLog(path);
    });
  });
  connect(WindowChoice, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { Refresh(); }); });
  connect(PeriodChoice, &QComboBox::currentIndexChanged, this, [this] {
    Guarded([this] { CycleTimer->setInterval(PeriodChoice->currentText().toInt()); });
  });
  connect(Plot, &TTrendPlot::MarkersChanged, this, [this] { Guarded([this] { ShowMarkers(); }); });
  connect(Ticker, &QTimer::timeout, this, [this] { Guarded([this] { Refresh(); }); });
  connect(CycleTimer, &QTimer::timeout, this, [this] { Guarded([this] { CycleTick(); }); });
}

void TFormTrend::showEvent(QShowEvent* event) {
  if (!placed_ && main_) {
    placed_ = true;
    PlaceBeside(this, main_, size(), Side::Right);
  }
  if (!event->spontaneous()) {
    Ticker->start();
    Refresh();
  }
  QWidget::showEvent(event);
}

void TFormTrend::closeEvent(QCloseEvent* event) {
  // Closed, the window stops its own cycle; it goes on following the main
  // window's polls (and its log) until the main window closes.
  SetCycling(false);
  Ticker->stop();
  QWidget::closeEvent(event);
}

void TFormTrend::Warn(const std::string& text) {
  boxes_.ShowMessage(text, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
}

int64_t TFormTrend::WindowUs() const {
  const int index = std::clamp(WindowChoice->currentIndex(), 0, static_cast<int>(std::size(kSpans)) - 1);
  return kSpans[index].Seconds * kUsPerSecond;
}

void TFormTrend::Refresh() {
  if (!paused_) {
    const int64_t now = MonotonicNowUs();
    int64_t from = now - WindowUs();
    if (WindowUs() == 0) {
      from = now - 10 * kUsPerSecond;
      for (const auto& series : recorder_.All())
        if (const auto first = series.Store.FirstTime()) from = std::min(from, *first);
    }
    Plot->SetView(from, now, SystemOffsetNowUs());
  }
  ShowMarkers();
  ShowStatus();
  const auto& all = recorder_.All();
  for (int row = 0; row < SeriesTable->rowCount() && row < static_cast<int>(all.size()); ++row)
    if (QTableWidgetItem* item = SeriesTable->item(row, 11))
      item->setText(QLocale(QLocale::Russian).toString(static_cast<qulonglong>(all[static_cast<size_t>(row)].Store.Size())));
}

void TFormTrend::ShowStatus() {
  const QLocale russian(QLocale::Russian);
  QString text = QString::fromUtf8("Опросов: %1, неудачных: %2")
                     .arg(russian.toString(static_cast<qulonglong>(recorder_.Polls())),
                          russian.toString(static_cast<qulonglong>(recorder_.FailedPolls())));
  if (Cycling() || cycle_.Cycles() > 0)
    text += QString::fromUtf8(". Цикл: %1 кругов, пропущено %2").arg(cycle_.Cycles()).arg(cycle_.Missed());
  if (recorder_.Logging())
    text += QString::fromUtf8(". Журнал: %1 (%2 строк)")
                .arg(QString::fromStdString(recorder_.Log().FilePath()))
                .arg(russian.toString(static_cast<qulonglong>(recorder_.Log().Lines())));
  else if (!recorder_.LogError().empty())
    text += QString::fromUtf8(". Журнал остановлен: ") + QString::fromStdString(recorder_.LogError());
  if (paused_) text += QString::fromUtf8(". Пауза: вид стоит, опрос идёт");
  Status->setText(text);
  BLog->setText(QString::fromUtf8(recorder_.Logging() ? "Остановить журнал" : "Журнал…"));
}

void TFormTrend::ShowMarkers() {
  const auto a = Plot->MarkerA(), b = Plot->MarkerB();
  if (!a || !b) {
    Markers->setText(QString::fromUtf8("Маркеры: левая кнопка мыши на графике ставит A, правая — B."));
    return;
  }
  const auto timeText = [&](int64_t us) {
    return QDateTime::fromMSecsSinceEpoch(recorder_.SystemUs(us) / 1000).toString("HH:mm:ss.zzz");
  };
  QString text = QString::fromUtf8("A %1, B %2, Δt %3").arg(timeText(*a), timeText(*b), DurationText(*b - *a));
  for (const auto& series : recorder_.All()) {
    const SeriesStats stats = series.Store.Stats(*a, *b);
    text += "\n" + QString::fromStdString(series.Def.Title()) + ": ";
    if (stats.Count == 0) {
      text += QString::fromUtf8("нет точек между маркерами");
      continue;
    }
    const auto atA = series.Store.Nearest(*a), atB = series.Store.Nearest(*b);
    text += QString::fromUtf8("Δ %1, мин %2, макс %3, среднее %4 (%5 точек)")
                .arg(Number(series.Store.Value(*atB) - series.Store.Value(*atA)), Number(stats.Min),
                     Number(stats.Max), Number(stats.Mean))
                .arg(stats.Count);
  }
  Markers->setText(text);
}

void TFormTrend::ShowSeries() {
  const auto& all = recorder_.All();
  SeriesTable->setRowCount(static_cast<int>(all.size()));
  std::vector<TTrendPlot::Line> lines;
  for (size_t i = 0; i < all.size(); ++i) {
    const SeriesDef& def = all[i].Def;
    const int row = static_cast<int>(i);
    SetRow(SeriesTable, row,
           {"", QString::fromStdString(def.Title()), QString::number(def.Source.Device), QString::number(def.Source.Code),
            def.Source.Start ? QString::number(*def.Source.Start) : QString::fromUtf8("любой"),
            QString::number(def.Value.Offset), QString::fromStdString(TypeName(def.Value)),
            ByteOrderName(def.Value.Order), Number(def.Value.Scale), Number(def.Value.Shift),
            QString::fromUtf8(def.Axis == SeriesAxis::Left ? "левая" : "правая"), "0"});
    SeriesTable->item(row, 0)->setBackground(SeriesColour(i));
    lines.push_back({&all[i].Store, SeriesColour(i), def.Axis, QString::fromStdString(def.Title())});
  }
  SeriesTable->resizeColumnsToContents();
  SeriesTable->setColumnWidth(0, 18);
  Plot->SetLines(std::move(lines));
}

void TFormTrend::ShowPolls() {
  const auto& entries = cycle_.Entries();
  PollTable->setRowCount(static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i)
    SetRow(PollTable, static_cast<int>(i),
           {QString::number(entries[i].Device), QString::number(entries[i].Code),
            QString::fromStdString(FormatHexBytes(entries[i].Data.data(), entries[i].Data.size()))});
}

void TFormTrend::AddSeries(const SeriesDef& def) {
  recorder_.AddSeries(def);
  ShowSeries();
  Refresh();
}

void TFormTrend::AddPollEntry(const PollEntry& entry) {
  auto entries = cycle_.Entries();
  entries.push_back(entry);
  cycle_.SetEntries(std::move(entries));
  ShowPolls();
}

void TFormTrend::AddSeriesClick() {
  SeriesDef def;
  def.Source.Device = static_cast<uint8_t>(SeriesDevice->value());
  def.Source.Code = static_cast<uint8_t>(SeriesCode->value());
  const QString start = SeriesStart->text().trimmed();
  if (!start.isEmpty()) {
    bool ok = false;
    const int value = start.toInt(&ok);
    if (!ok || value < 0 || value > 65535) {
      Warn("С адреса: номер регистра от 0 до 65535, или пусто");
      return;
    }
    def.Source.Start = static_cast<uint16_t>(value);
  }
  def.Value = ValueAt(static_cast<size_t>(SeriesOffset->value()), kTypes[SeriesType->currentIndex()],
                      kByteOrders[SeriesOrder->currentIndex()]);
  bool scaleOk = false, shiftOk = false;
  def.Value.Scale = QLocale(QLocale::Russian).toDouble(SeriesScale->text(), &scaleOk);
  if (!scaleOk) def.Value.Scale = SeriesScale->text().toDouble(&scaleOk);
  def.Value.Shift = QLocale(QLocale::Russian).toDouble(SeriesShift->text(), &shiftOk);
  if (!shiftOk) def.Value.Shift = SeriesShift->text().toDouble(&shiftOk);
  if (!scaleOk || !shiftOk || !std::isfinite(def.Value.Scale) || !std::isfinite(def.Value.Shift)) {
    Warn("Масштаб и сдвиг: числа, например 0,1");
    return;
  }
  def.Value.Unit = SeriesUnit->text().trimmed().toStdString();
  def.Value.Name = SeriesName->text().trimmed().toStdString();
  def.Axis = SeriesAxisChoice->currentIndex() == 1 ? SeriesAxis::Right : SeriesAxis::Left;
  AddSeries(def);
}

void TFormTrend::RemoveSeriesClick() {
  const int row = SeriesTable->currentRow();
  if (row < 0) return;
  recorder_.RemoveSeries(static_cast<size_t>(row));
  ShowSeries();
  Refresh();
}

void TFormTrend::AddPollClick() {
  std::string error;
  const auto entry = ParsePollEntry(PollDevice->text().toStdString(), PollCode->text().toStdString(),
                                    PollData->text().toStdString(), error);
  if (!entry) {
    Warn(error);
    return;
  }
  AddPollEntry(*entry);
}

void TFormTrend::RemovePollClick() {
  const int row = PollTable->currentRow();
  if (row < 0) return;
  auto entries = cycle_.Entries();
  entries.erase(entries.begin() + row);
  cycle_.SetEntries(std::move(entries));
  ShowPolls();
}

bool TFormTrend::Cycling() const { return CycleTimer->isActive(); }

void TFormTrend::CycleClick() {
  if (!Cycling() && cycle_.Entries().empty()) {
    BCycle->setChecked(false);
    Tabs->setCurrentIndex(1);
    Warn("Список опроса пуст: добавьте запрос на вкладке «Опрос»");
    return;
  }
  SetCycling(!Cycling());
}

void TFormTrend::SetCycling(bool on) {
  BCycle->setChecked(on);
  if (!on) {
    CycleTimer->stop();
    cycle_.Stop();
    return;
  }
  CycleTimer->setInterval(PeriodChoice->currentText().toInt());
  CycleTimer->start();
  CycleTick();  // the first cycle at once
}

void TFormTrend::CycleTick() {
  if (cycle_.Begin()) QTimer::singleShot(0, this, [this] { Guarded([this] { RunNextEntry(); }); });
}

// One entry per turn of the event loop, so the main window's own ticks and
// the operator's clicks get their turns between ours. The link blocks the
// GUI thread for a transaction; a turn that comes while one is under way
// (from inside a message box's loop, say) waits for it to end.
void TFormTrend::RunNextEntry() {
  if (!cycle_.UnderWay()) return;
  if (running_ || follower_.InTransaction()) {
    QTimer::singleShot(10, this, [this] { Guarded([this] { RunNextEntry(); }); });
    return;
  }
  const auto entry = cycle_.Next();
  if (!entry) return;
  running_ = true;
  try {
    RunPollEntry(link_, *entry);  // its result reaches the series through the follower
  } catch (...) {
    running_ = false;
    SetCycling(false);
    throw;
  }
  running_ = false;
  if (cycle_.UnderWay()) QTimer::singleShot(0, this, [this] { Guarded([this] { RunNextEntry(); }); });
}

void TFormTrend::PauseClick() {
  paused_ = !paused_;
  BPause->setText(QString::fromUtf8(paused_ ? "Продолжить" : "Пауза"));
  Refresh();
}

void TFormTrend::ClearClick() {
  recorder_.ClearPoints();
  Plot->SetMarkers(std::nullopt, std::nullopt);
  Refresh();
}

bool TFormTrend::SavePng(const QString& path) const {
  return Plot->Snapshot(Plot->size()).save(path, "PNG");
}

bool TFormTrend::SaveCsv(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const std::string text = recorder_.ExportCsv();
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

bool TFormTrend::StartLog(const QString& path) {
  std::string error;
  const auto maxBytes = static_cast<uint64_t>(LogMb->value()) * 1024 * 1024;
  const bool started = recorder_.StartLog(path.toStdString(), maxBytes, error);
  if (!started) Warn("Журнал не начат: " + error);
  ShowStatus();
  return started;
}

void TFormTrend::StopLog() {
  recorder_.StopLog();
  ShowStatus();
}
