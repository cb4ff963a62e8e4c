#include "MonitorWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "AdapterDelay.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "FrameRowDelegate.h"
#include "FrameTableModel.h"
#include "HandlerGuard.h"
#include "EComPort.h"
#include "LineAnalyser.h"
#include "ListenDialog.h"
#include "ListenSession.h"
#include "ListenStatisticsPanel.h"
#include "ListeningPort.h"
#include "OperatorInterface.h"
#include "StringGrid.h"
#include "StatisticsPanel.h"
#include "ValuePanel.h"
#include "WindowLook.h"
#include "WindowPlacement.h"

namespace {
const QSize kPreferredSize(1240, 700);

QPushButton* ToolButton(QWidget* parent, const char* text, const char* tip) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setAutoDefault(false);
  button->setToolTip(QString::fromUtf8(tip));
  return button;
}

// Room for what a column usually holds, or for its title. The bytes get
// room for a request of eight and more; longer frames show whole in the tooltip.
void SizeColumns(QTableView* view) {
  const QFontMetrics text(view->font());
  const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const char* const samples[kFrameColumns] = {
      "00:00:00.000", "99999,999", "→", "", "неверна", "3, исключение 2", "9999,999", "9999,999",
      "9", "9", "ответ принят; итог 130", ""};
  for (int c = 0; c < kFrameColumns; ++c) {
    const QString title = QString::fromStdString(FrameColumnTitles()[static_cast<size_t>(c)]);
    const int width = c == ColBytes ? fixed.horizontalAdvance(QString(3 * 12, '0'))
                                    : text.horizontalAdvance(QString::fromUtf8(samples[c]));
    view->setColumnWidth(c, std::max(width, text.horizontalAdvance(title)) + 14);
  }
}

}  // namespace

TFormMonitor::TFormMonitor(TComPortClass& link, TStringGrid* grid, OperatorInterface& boxes,
                           size_t capacity)
    : QWidget(nullptr, Qt::Window), link_(link), boxes_(boxes), grid_(grid), recorder_(capacity) {
  setWindowTitle(QString::fromUtf8("Монитор обмена"));
  setFont(WindowFont(8));
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  model_ = linkModel_ = new TFrameTableModel(recorder_, this);
  BuildControls();
  // The window may be narrower than its buttons in one row: they take two
  // rows then (resizeEvent), so its least width is that of two rows.
  layout()->setSizeConstraint(QLayout::SetNoConstraint);
  ArrangeButtons(false);
  setMinimumWidth(layout()->totalMinimumSize().width());
  ArrangeButtons(true);
  resize(kPreferredSize);

  Ticker = new QTimer(this);
  Ticker->setInterval(kRefreshMs);
  connect(Ticker, &QTimer::timeout, this, [this] { Guarded([this] { Refresh(); }); });
}

TFormMonitor::~TFormMonitor() {
  session_.reset();
  recorder_.Detach();
}

void TFormMonitor::BuildControls() {
  BPause = ToolButton(this, "Пауза", "список перестаёт пополняться; запись идёт дальше");
  BClear = ToolButton(this, "Очистить", "забыть все кадры");
  BCopy = ToolButton(this, "Копировать", "выделенные строки (все, если не выделено ни одной) как текст");
  BSaveCsv = ToolButton(this, "Сохранить CSV…", "все строки списка в файл CSV (разделитель «;»)");
  BSaveText = ToolButton(this, "Сохранить текст…", "все строки списка в текстовый файл");
  Status = new QLabel(this);
  Status->setWordWrap(true);  // a narrow window keeps its counts in view
  BListen = ToolButton(this, "Прослушивание линии…",
                       "слушать линию, где опрашивает другой мастер: порт только на приём, ни одного байта в линию");
  ListenBanner = new QLabel(this);
  ListenBanner->setFont(WindowFont(8, true));
  ListenBanner->setWordWrap(true);
  SetTextColour(ListenBanner, kRed);
  ListenBanner->hide();

  FrameView = new QTableView(this);
  FrameView->setModel(model_);
  FrameView->setItemDelegate(new TFrameRowDelegate(FrameView));
  FrameView->setSelectionBehavior(QAbstractItemView::SelectRows);
  FrameView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FrameView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FrameView->setWordWrap(false);
  FrameView->setTabKeyNavigation(false);  // Tab goes on to the next control, as everywhere
  FrameView->setTextElideMode(Qt::ElideRight);
  FrameView->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  // Rows of one height: the view never measures the rows it does not show.
  FrameView->verticalHeader()->hide();
  FrameView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FrameView->verticalHeader()->setDefaultSectionSize(FrameView->fontMetrics().height() + 4);
  FrameView->horizontalHeader()->setStretchLastSection(true);
  FrameView->horizontalHeader()->setHighlightSections(false);
  SizeColumns(FrameView);
  auto* copyKeys = new QShortcut(QKeySequence::Copy, FrameView, nullptr, nullptr, Qt::WidgetShortcut);
  connect(copyKeys, &QShortcut::activated, this, [this] { Guarded([this] { CopyClick(); }); });

  Statistics = new TStatisticsPanel(recorder_, this);
  Values = new TValuePanel(grid_, this);
  ListenStatistics = new TListenStatisticsPanel(this);
  ListenStatistics->hide();

  buttons_ = new QGridLayout;
  ArrangeButtons(true);

  auto* bottom = new QSplitter(Qt::Horizontal);
  bottom->addWidget(Statistics);
  bottom->addWidget(ListenStatistics);
  bottom->addWidget(Values);
  bottom->setSizes({620, 620, 620});  // one of the statistics panels is hidden
  auto* split = new QSplitter(Qt::Vertical);
  split->addWidget(FrameView);
  split->addWidget(bottom);
  split->setStretchFactor(0, 1);
  split->setSizes({420, 230});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons_);
  layout->addWidget(ListenBanner);
  layout->addWidget(split, 1);

  connect(BPause, &QPushButton::clicked, this, [this] { Guarded([this] { PauseClick(); }); });
  connect(BClear, &QPushButton::clicked, this, [this] { Guarded([this] { ClearClick(); }); });
  connect(BCopy, &QPushButton::clicked, this, [this] { Guarded([this] { CopyClick(); }); });
  connect(BSaveCsv, &QPushButton::clicked, this, [this] { Guarded([this] { SaveCsvClick(); }); });
  connect(BSaveText, &QPushButton::clicked, this, [this] { Guarded([this] { SaveTextClick(); }); });
  connect(BListen, &QPushButton::clicked, this, [this] { Guarded([this] { ListenClick(); }); });
  ShowModel(model_);
}

void TFormMonitor::ShowModel(TFrameTableModel* model) {
  model_ = model;
  FrameView->setModel(model_);
  connect(FrameView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { Guarded([this] { CurrentFrameChanged(); }); });
  CurrentFrameChanged();
}

const FrameSource& TFormMonitor::Source() const {
  if (analyser_) return *analyser_;
  return recorder_;
}

void TFormMonitor::ListenClick() {
  if (Listening()) {
    StopListening();
    return;
  }
  TListenDialog dialog(this);
  if (dialog.exec() == QDialog::Accepted) StartListening(dialog.PortName(), dialog.Rate(), dialog.Frame());
}

bool TFormMonitor::StartListening(const std::string& port, int32_t rate, const LineFrame& frame) {
  StopListening();
  auto fail = [this](const std::string& text) {
    boxes_.ShowMessage(text, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
    return false;
  };
  // The main window's "Пуск" and "Цикл" work on their port: listening never shares it.
  if (link_.ComPort().Connected() && link_.PortName == port)
    return fail("Порт " + port + " открыт главным окном для обмена. Для прослушивания выберите другой порт.");
  if (rate <= 0 || CheckLineFrame(frame) != FrameRefusal::None) return fail("Неверные параметры линии");
  auto analyser = std::make_unique<LineAnalyser>(FormatOf(rate, frame));
  auto session = std::make_unique<ListenSession>();
  try {
    session->Start(port, rate, frame);
  } catch (const EComPort& e) {
    return fail("Не удалось открыть порт " + port + " для прослушивания: " + e.what());
  }
  analyser_ = std::move(analyser);
  session_ = std::move(session);
  listenPort_ = port;
  ShowModel(new TFrameTableModel(*analyser_, this));
  const int latency = LatencyTimerOf(port);
  std::string banner = "Прослушивание " + port + ", " + std::to_string(rate) + " " + frame.Name() +
                       ": только приём, в линию не передаётся ни байта.";
  if (latency >= 0) banner += " latency_timer адаптера " + std::to_string(latency) + " мс.";
  const std::string warning = AdapterDelayWarning(latency, rate, frame);
  if (!warning.empty()) banner += " " + warning;
  ListenBanner->setText(QString::fromStdString(banner));
  ListenBanner->show();
  Statistics->hide();
  ListenStatistics->show();
  BListen->setText(QString::fromUtf8("Остановить прослушивание"));
  setWindowTitle(QString::fromUtf8("Монитор обмена — прослушивание ") + QString::fromStdString(port));
  Ticker->setInterval(kListenRefreshMs);
  Refresh();
  return true;
}

void TFormMonitor::StopListening() {
  if (!session_ && !analyser_) return;
  session_.reset();
  TFrameTableModel* heard = model_;
  ShowModel(linkModel_);
  if (heard != linkModel_) heard->deleteLater();
  analyser_.reset();
  ListenStatistics->Refresh(nullptr);
  ListenBanner->hide();
  ListenStatistics->hide();
  Statistics->show();
  BListen->setText(QString::fromUtf8("Прослушивание линии…"));
  setWindowTitle(QString::fromUtf8("Монитор обмена"));
  Ticker->setInterval(kRefreshMs);
  // The link's frames recorded while listening come into view at once.
  SyncFrames();
  ShowStatus();
}

int TFormMonitor::OneRowWidth() const {
  int width = 12 + Status->fontMetrics().horizontalAdvance(QString::fromUtf8("Кадров: 100 000 (хранится не более 100 000)"));
  for (const QPushButton* b : {BPause, BClear, BCopy, BSaveCsv, BSaveText, BListen})
    width += b->sizeHint().width() + buttons_->horizontalSpacing();
  const QMargins margins = layout() ? layout()->contentsMargins() : QMargins(9, 9, 9, 9);
  return width + margins.left() + margins.right();
}

void TFormMonitor::ArrangeButtons(bool oneRow) {
  // Narrowed beside the main window, the buttons take two rows and the
  // counts a line of their own.
  QPushButton* const order[] = {BPause, BClear, BCopy, BSaveCsv, BSaveText, BListen};
  constexpr int kButtons = static_cast<int>(std::size(order));
  for (QWidget* w : order) buttons_->removeWidget(w);
  buttons_->removeWidget(Status);
  for (int i = 0; i < kButtons; ++i) buttons_->addWidget(order[i], oneRow ? 0 : i / 3, oneRow ? i : i % 3);
  if (oneRow) {
    buttons_->addWidget(Status, 0, kButtons);
    buttons_->setColumnStretch(kButtons, 1);
    buttons_->setColumnStretch(3, 0);
  } else {
    buttons_->addWidget(Status, 2, 0, 1, 4);
    buttons_->setColumnStretch(kButtons, 0);
    buttons_->setColumnStretch(3, 1);
  }
  oneRow_ = oneRow;
}

void TFormMonitor::resizeEvent(QResizeEvent* event) {
  const bool oneRow = width() >= OneRowWidth();
  if (oneRow != oneRow_) ArrangeButtons(oneRow);
  QWidget::resizeEvent(event);
}

void TFormMonitor::showEvent(QShowEvent* event) {
  if (!placed_ && grid_) {
    placed_ = true;
    PlaceBeside(this, grid_->window(), kPreferredSize, Side::Left);  // the finder takes the right
  }
  if (!event->spontaneous()) {
    recorder_.Attach(link_);
    Refresh();
    Ticker->start();
  }
  QWidget::showEvent(event);
}

void TFormMonitor::hideEvent(QHideEvent* event) {
  // Minimised, the window still records; closed, it lets go of the link
  // and of the line it listened to.
  if (!event->spontaneous()) {
    Ticker->stop();
    recorder_.Detach();
    StopListening();
  }
  QWidget::hideEvent(event);
}

void TFormMonitor::Refresh() {
  if (session_) {
    session_->TakeInto(*analyser_);
    const std::string failure = session_->Failure();
    if (!failure.empty()) {
      const std::string port = listenPort_;
      StopListening();
      boxes_.ShowMessage("Прослушивание " + port + " прервано: " + failure, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
      return;
    }
    ListenStatistics->Refresh(analyser_.get());
  }
  SyncFrames();
  Statistics->Refresh();
  Values->Refresh();
  ShowStatus();
}

void TFormMonitor::SyncFrames() {
  QScrollBar* bar = FrameView->verticalScrollBar();
  const bool atBottom = bar->value() >= bar->maximum();
  const int value = bar->value();
  const int dropped = model_->Sync(!paused_);
  if (paused_) return;
  if (atBottom) {
    FrameView->scrollToBottom();
  } else if (dropped > 0) {
    bar->setValue(std::max(0, value - dropped));  // the same frames stay in view
  }
}

void TFormMonitor::ShowStatus() {
  const FrameRing& ring = Source().Frames();
  const QLocale russian(QLocale::Russian);
  const auto number = [&](auto n) { return russian.toString(static_cast<qulonglong>(n)); };
  QString text = QString::fromUtf8("Кадров: %1 (хранится не более %2)").arg(number(model_->rowCount()), number(ring.Capacity()));
  if (ring.Dropped() > 0) text += QString::fromUtf8(", старых отброшено: %1").arg(number(ring.Dropped()));
  if (paused_) text += QString::fromUtf8(". Пауза: новых кадров не показано: %1").arg(number(model_->Waiting()));
  if (analyser_) text += QString::fromUtf8(". Байт вне кадров: %1").arg(number(analyser_->Statistics().UnframedBytes()));
  Status->setText(text);
}

void TFormMonitor::CurrentFrameChanged() {
  const int row = FrameView->currentIndex().isValid() ? FrameView->currentIndex().row() : -1;
  const MonitorFrame* frame = model_->FrameAt(row);
  const MonitorFrame* before = frame ? Source().Frames().Find(frame->Seq - 1) : nullptr;
  const bool sameAttempt = frame && before && before->Transaction == frame->Transaction &&
                           before->Attempt == frame->Attempt;
  Values->ShowFrame(frame, sameAttempt ? before : nullptr);
}

std::vector<FrameLine> TFormMonitor::Lines() const {
  std::vector<FrameLine> lines;
  lines.reserve(static_cast<size_t>(model_->rowCount()));
  for (int row = 0; row < model_->rowCount(); ++row) lines.push_back(model_->LineAt(row));
  return lines;
}

std::vector<FrameLine> TFormMonitor::DatedLines() const {
  std::vector<FrameLine> lines;
  lines.reserve(static_cast<size_t>(model_->rowCount()));
  for (int row = 0; row < model_->rowCount(); ++row) lines.push_back(model_->DatedLineAt(row));
  return lines;
}

std::vector<FrameLine> TFormMonitor::SelectedLines() const {
  QModelIndexList rows = FrameView->selectionModel()->selectedRows();
  if (rows.isEmpty()) return Lines();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<FrameLine> lines;
  for (const QModelIndex& index : rows) lines.push_back(model_->LineAt(index.row()));
  return lines;
}

bool TFormMonitor::Save(const QString& path, const std::string& text) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

bool TFormMonitor::SaveCsv(const QString& path) const { return Save(path, CsvDocument(DatedLines())); }

bool TFormMonitor::SaveText(const QString& path) const { return Save(path, TextDocument(Lines())); }

void TFormMonitor::ShowProbe(const ProbeResult& probe) {
  if (!probe.Sent) return;
  std::optional<TComLink::TimePoint> firstByte;
  if (probe.LatencyMs)
    firstByte = *probe.Sent + std::chrono::duration_cast<TComLink::TimePoint::duration>(
                                  std::chrono::duration<double, std::milli>(*probe.LatencyMs));
  const LineSetting& s = probe.Setting;
  const std::string note = "поиск устройств, " + std::to_string(s.Baud) + " бит/с, " + s.Frame.Name();
  recorder_.RecordForeign(probe.Request, *probe.Sent, probe.Answer, firstByte, note);
}

void TFormMonitor::PauseClick() {
  paused_ = !paused_;
  BPause->setText(QString::fromUtf8(paused_ ? "Продолжить" : "Пауза"));
  if (!paused_) {
    model_->Sync(true);
    FrameView->scrollToBottom();
  }
  ShowStatus();
}

void TFormMonitor::ClearClick() {
  if (analyser_) {
    analyser_->ClearFrames();
  } else {
    recorder_.ClearFrames();
  }
  model_->Restart();
  CurrentFrameChanged();
  ShowStatus();
}

void TFormMonitor::CopyClick() {
  QApplication::clipboard()->setText(QString::fromStdString(TextDocument(SelectedLines())));
}

QString TFormMonitor::AskPath(const char* caption, const char* suffix, const char* filter) {
  const QString name = QDir::home().filePath(
      "monitor-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + suffix);
  return QFileDialog::getSaveFileName(this, QString::fromUtf8(caption), name, QString::fromUtf8(filter));
}

void TFormMonitor::SaveCsvClick() {
  const QString path = AskPath("Сохранить CSV", ".csv", "CSV (*.csv);;Все файлы (*)");
  if (!path.isEmpty() && !SaveCsv(path))
    boxes_.ShowMessage("Не удалось записать файл " + path.toStdString(), "Ошибка", MsgIcon::Error, MsgButtons::Ok);
}

void TFormMonitor::SaveTextClick() {
  const QString path = AskPath("Сохранить текст", ".txt", "Текст (*.txt);;Все файлы (*)");
  if (!path.isEmpty() && !SaveText(path))
    boxes_.ShowMessage("Не удалось записать файл " + path.toStdString(), "Ошибка", MsgIcon::Error, MsgButtons::Ok);
}
