#include "Ob_TModBCl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include "EntryEdit.h"
#include "FinderWindow.h"
#include "FittedLabel.h"
#include "HandlerGuard.h"
#include "MainPortProperties.h"
#include "MonitorWindow.h"
#include "StrToInt.h"
#include "StringGrid.h"
#include "TrendWindow.h"
#include "ValuePanel.h"
#include "WindowLook.h"
#include "WindowTools.h"
#include "obrNastr.h"
#include "obrport.h"

int32_t RequestNumber = 0;
uint8_t RequestCode = 0;
bool ShowOutcome = false;
TForm1* Form1 = nullptr;

namespace {

QLabel* MakeLabel(QWidget* parent, const char* text, int left, int top, const QColor& colour) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setFont(WindowFont(8, true));
  SetTextColour(label, colour);
  label->adjustSize();
  label->move(left, top);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* text, int left, int top, int width) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setGeometry(left, top, width, 25);
  button->setAutoDefault(false);
  return button;
}

// The lock pictogram of SPBloc: open when up, shut when down, grey when disabled.
QIcon LockIcon() {
  const auto draw = [](bool shut, const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(colour, 1.5));
    painter.drawArc(QRectF(2.5, shut ? 0.5 : -1.5, 7, 8), 0, 180 * 16);
    painter.fillRect(QRectF(1, 5, 10, 7), colour);
    return pixmap;
  };
  QIcon icon;
  icon.addPixmap(draw(false, Qt::black), QIcon::Normal, QIcon::Off);
  icon.addPixmap(draw(true, kRed), QIcon::Normal, QIcon::On);
  icon.addPixmap(draw(false, Qt::gray), QIcon::Disabled, QIcon::Off);
  icon.addPixmap(draw(true, Qt::gray), QIcon::Disabled, QIcon::On);
  return icon;
}

}  // namespace

TForm1::TForm1(OperatorInterface& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      Link(ComPort1, *this),
      Serv(boxes, [] { QApplication::beep(); }),
      Dispatcher(Link, Serv, *this, *this, RequestNumber, RequestCode, ShowOutcome),
      boxes_(boxes) {
  LoadMainPortProperties(ComPort1);
  setWindowTitle(QString::fromUtf8("Тест работы по протоколу MODBUS"));
  setFixedSize(652, 615);
  setFont(WindowFont(8));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  BuildControls();
  SetTabOrder();
  ConnectHandlers();
  FormCreate();
  CBoxUstr->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
  Label2 = MakeLabel(this, "Устр. №", 8, 18, kTeal);

  CBoxUstr = new QComboBox(this);
  for (int n = 1; n <= 31; ++n) CBoxUstr->addItem(QString::number(n));
  CBoxUstr->setMaxVisibleItems(8);
  CBoxUstr->setGeometry(64, 14, 57, 21);

  EditZapr = new TEntryEdit(this);
  EditZapr->setMaxLength(3);
  EditZapr->setFont(WindowFont(6));
  EditZapr->setText("0");
  EditZapr->setToolTip(QString::fromUtf8("ввод номера запроса"));
  EditZapr->setGeometry(446, 14, 25, 21);

  const QColor infoBack = QPalette().color(QPalette::ToolTipBase);
  static constexpr int kLefts[5] = {8, 80, 152, 224, 296};
  static constexpr int kTops[4] = {88, 120, 152, 184};
  for (int i = 0; i < 20; ++i) {
    auto* edit = new TEntryEdit(this);
    edit->setText("0");
    SetBaseColour(edit, infoBack);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, kRed);
    edit->setPalette(palette);
    edit->setGeometry(kLefts[i % 5], kTops[i / 5], 57, 21);
    Edits[static_cast<size_t>(i)] = edit;
  }

  Button1 = MakeButton(this, "Пуск", 480, 14, 65);
  Button3 = MakeButton(this, "Цикл", 552, 14, 65);
  Button2 = MakeButton(this, "Настройка порта", 132, 14, 105);
  Button6 = MakeButton(this, "Настройка обмена", 246, 14, 105);
  BKvit = MakeButton(this, "квит.", 480, 88, 65);
  BSbros = MakeButton(this, "сброс", 552, 88, 65);
  Button4 = MakeButton(this, "Заполнить таблицу", 520, 256, 121);
  Button5 = MakeButton(this, "Очистить таблицу", 520, 296, 121);
  BKvit->hide();
  BSbros->hide();

  StringGrid1 = new TStringGrid(16, 17, 1, this);
  StringGrid1->SetColWidth(30);
  StringGrid1->SetRowHeight(21);
  StringGrid1->setGeometry(1, 232, 506, 382);
  QPalette gridPalette = StringGrid1->palette();
  gridPalette.setColor(QPalette::Base, Qt::white);
  StringGrid1->setPalette(gridPalette);

  EditDat1 = new TEntryEdit(this);
  EditDat1->setText("0");
  EditDat1->setGeometry(386, 88, 89, 21);
  EditDat2 = new TEntryEdit(this);
  EditDat2->setText("0");
  EditDat2->setGeometry(386, 116, 89, 21);

  LabelCikl = new TFittedLabel(QString::fromUtf8("Зациклен запрос"), this);
  SetTextColour(LabelCikl, kRed);
  LabelCikl->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  LabelCikl->setWordWrap(true);
  LabelCikl->setGeometry(528, 40, 112, 12);
  LabelCikl->hide();

  Label3 = MakeLabel(this, "Принято", 144, 64, kTeal);
  Label8 = MakeLabel(this, "Запрос", 392, 18, kRed);
  Label4 = MakeLabel(this, "Данные", 390, 64, kTeal);
  Label7 = MakeLabel(this, "блок.", 488, 112, kTeal);
  Label7->hide();

  SPBloc = new QToolButton(this);
  SPBloc->setCheckable(true);
  SPBloc->setAutoRaise(true);
  SPBloc->setIcon(LockIcon());
  SPBloc->setFocusPolicy(Qt::NoFocus);
  SPBloc->setToolTip(QString::fromUtf8("Кнопка вкл блокировки"));
  SPBloc->setGeometry(560, 112, 28, 17);
  SPBloc->hide();

  Label9 = MakeLabel(this, "Выбрана ячейка:", 520, 392, kTeal);
  Label9->setWordWrap(true);
  Label9->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label9->setGeometry(520, 392, 110, 41);
  Label10 = MakeLabel(this, "Текст", 520, 464, kTeal);
  Label10->setWordWrap(true);
  Label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label10->setGeometry(520, 464, 110, 49);

  Timer1 = new QTimer(this);
  Timer1->setInterval(500);

  Tools = new TWindowTools(this);
  MonitorAction = Tools->Add("Монитор обмена", QKeySequence(Qt::CTRL | Qt::Key_M), [this] { OpenMonitor(); });
  FinderAction = Tools->Add("Поиск устройств…", QKeySequence(Qt::CTRL | Qt::Key_F), [this] { OpenFinder(); });
  TrendAction = Tools->Add("Тренды", QKeySequence(Qt::CTRL | Qt::Key_T), [this] { OpenTrends(); });
}

void TForm1::SetTabOrder() {
  tabOrder_ = {CBoxUstr, EditZapr, Edit(1),  Edit(2),  Button1,  Edit(3),  Edit(4),  Edit(5),
               Edit(6),  Edit(7),  Edit(8),  Edit(9),  Edit(10), StringGrid1, BKvit, BSbros,
               Button2,  Button3,  EditDat1, EditDat2, Button4,  Button5,  Button6};
  for (int n = 11; n <= 20; ++n) tabOrder_.push_back(Edit(n));
  for (size_t i = 1; i < tabOrder_.size(); ++i) QWidget::setTabOrder(tabOrder_[i - 1], tabOrder_[i]);
}

void TForm1::ConnectHandlers() {
  connect(CBoxUstr, &QComboBox::activated, this, [this] { Guarded([&] { CBoxUstrClick(); }); });
  EditZapr->OnKeyDown = [this](uint16_t key) { return EditZaprKeyDown(EditZapr, key); };
  EditZapr->OnExit = [this] { EditZaprExit(); };
  for (TEntryEdit* entry : {EditDat1, EditDat2}) {
    entry->OnKeyDown = [this, entry](uint16_t key) { return EditDat1KeyDown(entry, key); };
    entry->OnExit = [this, entry] { EditDat1Exit(entry); };
  }
  StringGrid1->OnSelectCell = [this](int col, int row, bool& canSelect) {
    StringGrid1SelectCell(col, row, canSelect);
  };
  StringGrid1->OnGetEditText = [this](int col, int row, QString& value) {
    StringGrid1GetEditText(col, row, value);
  };
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([&] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded([&] { Button3Click(); }); });
  connect(Button4, &QPushButton::clicked, this, [this] { Guarded([&] { Button4Click(); }); });
  connect(Button5, &QPushButton::clicked, this, [this] { Guarded([&] { Button5Click(); }); });
  connect(Button6, &QPushButton::clicked, this, [this] { Guarded([&] { Button6Click(); }); });
  connect(BKvit, &QPushButton::clicked, this, [this] { Guarded([&] { BKvitClick(BKvit); }); });
  connect(BSbros, &QPushButton::clicked, this, [this] { Guarded([&] { BKvitClick(BSbros); }); });
  connect(SPBloc, &QToolButton::clicked, this, [this] { Guarded([&] { SPBlocClick(); }); });
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([&] { Timer1Timer(); }); });
}

void TForm1::FormCreate() {
  ShowOutcome = true;
  CBoxUstr->setCurrentIndex(0);
  Serv.DeviceIndex = StrToInt(CBoxUstr->currentText().toStdString()) - 1;
  for (int c = 0; c < 16; ++c) StringGrid1->SetCell(c, 0, QString::number(c));
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) StringGrid1->SetCell(c, r, QString());
}

void TForm1::CBoxUstrClick() {
  Serv.DeviceIndex = StrToInt(CBoxUstr->currentText().toStdString()) - 1;
}

void TForm1::FormClose() { Link.ClosePort(); }

void TForm1::closeEvent(QCloseEvent* event) {
  closing_ = true;                // the finder gives the port back, but polling stays stopped
  if (finder_) finder_->close();  // first: it reopens the port it borrowed
  Guarded([this] { FormClose(); });
  if (monitor_) monitor_->close();
  if (trends_) trends_->close();
  event->accept();
}

TFormMonitor& TForm1::Monitor() {
  if (!monitor_) {
    monitor_ = std::make_unique<TFormMonitor>(Link, StringGrid1, boxes_);
    monitor_->Values->OnToTrend = [this](const SeriesDef& series) {
      Trends().AddSeries(series);
      OpenTrends();
    };
  }
  return *monitor_;
}

namespace {
// A tool window asked for again comes to the front, whatever state it was left in.
void BringToFront(QWidget& window) {
  if (window.isMinimized()) window.showNormal();
  window.show();
  window.raise();
  window.activateWindow();
}
}  // namespace

void TForm1::OpenMonitor() { BringToFront(Monitor()); }

TFormFinder& TForm1::Finder() {
  if (!finder_) finder_ = std::make_unique<TFormFinder>(*this, boxes_, this);
  return *finder_;
}

void TForm1::OpenFinder() { BringToFront(Finder()); }

TFormTrend& TForm1::Trends() {
  if (!trends_) trends_ = std::make_unique<TFormTrend>(Link, boxes_, this);
  return *trends_;
}

void TForm1::OpenTrends() { BringToFront(Trends()); }

void TForm1::showEvent(QShowEvent* event) {
  if (!placed_) {
    placed_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(width() / 2, height() / 2));
    }
  }
  QWidget::showEvent(event);
}

bool TForm1::EditZaprKeyDown(TEntryEdit* sender, uint16_t key) {
  const int32_t result = Serv.CheckDecKey(*sender, key);
  if (result == 13) SelectNext(sender);
  return result == 0;
}

bool TForm1::EditDat1KeyDown(TEntryEdit* sender, uint16_t key) {
  const int32_t result = Serv.CheckHexKey(*sender, key);
  if (result == 13) SelectNext(sender);
  return result == 0;
}

void TForm1::EditZaprExit() {
  if (Serv.CheckEmpty(*EditZapr) == 1) return;
  RequestNumber = StrToInt(EditZapr->Text());  // a text that is no number goes to the error display
  RequestCode = static_cast<uint8_t>(RequestNumber & 0xFF);
}

void TForm1::EditDat1Exit(TEntryEdit* sender) { Serv.CheckEmpty(*sender); }

void TForm1::SelectNext(QWidget* from) {
  const auto start = std::find(tabOrder_.begin(), tabOrder_.end(), from);
  if (start == tabOrder_.end()) return;
  const size_t n = tabOrder_.size();
  const size_t at = static_cast<size_t>(start - tabOrder_.begin());
  for (size_t step = 1; step < n; ++step) {
    QWidget* next = tabOrder_[(at + step) % n];
    if (next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)) {
      next->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

void TForm1::StringGrid1SelectCell(int col, int row, bool& /*canSelect*/) {
  Label9->setText(QString::fromUtf8("выбрана ячейка: ") + QString::number(col) + ":" +
                  QString::number(row));
}

void TForm1::StringGrid1GetEditText(int col, int row, QString& /*value*/) {
  Label10->setText(QString::fromUtf8(" в ячейке ") + QString::number(col) + ":" +
                   QString::number(row) + QString::fromUtf8(" содержится текст  ") +
                   StringGrid1->Cell(col, row));
}

void TForm1::Button4Click() {
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) StringGrid1->SetCell(c, r, QString::number((r - 1) * 16 + c));
}

void TForm1::Button5Click() {
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) StringGrid1->SetCell(c, r, QString());
}

void TForm1::Button2Click() {
  for (;;) {
    const int result = FormPort->exec();
    if (result == TFormPort::mrOk) break;
    if (result != TFormPort::mrRefused) return;
    if (boxes_.ShowMessage("Ошибочные данные ", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel) !=
        MsgResult::Retry)
      return;
  }
  static constexpr const char* kParity[] = {"N", "O", "E"};
  static constexpr const char* kStopBits[] = {"1", "2"};
  const int parity = FormPort->Parit->currentIndex();
  const int stopBits = FormPort->StBit->currentIndex();
  SetPortAndOpen(FormPort->CBoxPort->currentText().toStdString(), FormPort->Skor->currentText().toStdString(),
                 parity >= 0 && parity < 3 ? kParity[parity] : "",
                 stopBits >= 0 && stopBits < 2 ? kStopBits[stopBits] : "");
}

void TForm1::SetPortAndOpen(const std::string& port, const std::string& baud, const std::string& parity,
                            const std::string& stopBits) {
  Link.ParityText = parity;
  Link.BaudText = baud;
  Link.StopBitsText = stopBits;
  Link.PortName = port;
  if (Link.OpenPort() == -1) Link.ReportResult(Serv.DeviceIndex, ResultPortNotOpened);
}

void TForm1::Button6Click() {
  if (FormNastr->exec() != TFormNastr::mrOk) return;
  Link.SetRepeats1(StrToInt(FormNastr->CBoxPovt1->currentText().toStdString()));
  Link.SetRepeats2(StrToInt(FormNastr->CBoxPovt2->currentText().toStdString()));
  Link.SetTxDelay(StrToInt(FormNastr->Edit1->text().toStdString()));
  Link.SetRxDelay(StrToInt(FormNastr->Edit2->text().toStdString()));
}

void TForm1::Button1Click() { Dispatcher.Button1Click(); }

void TForm1::Button3Click() { Dispatcher.Button3Click(); }

void TForm1::Timer1Timer() { Dispatcher.Timer1Timer(); }

// The shortcut buttons send request 5 with the coil and state of the data entries.
void TForm1::SPBlocClick() {
  RequestCode = 5;
  RequestNumber = 5;
  EditZapr->SetText("5");
  Button1Click();
}

void TForm1::BKvitClick(QObject* /*sender*/) { SPBlocClick(); }

EntryField& TForm1::RequestEntry() { return *EditZapr; }
EntryField& TForm1::Data1Entry() { return *EditDat1; }
EntryField& TForm1::Data2Entry() { return *EditDat2; }

std::string TForm1::Cell(int column, int row) const {
  return StringGrid1->Cell(column, row).toStdString();
}

void TForm1::SetCell(int column, int row, const std::string& text) {
  StringGrid1->SetCell(column, row, QString::fromStdString(text));
}

void TForm1::SetField(int n, const std::string& text) { Edit(n)->SetText(text); }

void TForm1::ResetGridFontColour() {
  QPalette palette = StringGrid1->palette();
  palette.setColor(QPalette::Text, QApplication::palette().color(QPalette::WindowText));
  StringGrid1->setPalette(palette);
}

bool TForm1::PollTimerEnabled() const { return Timer1->isActive(); }

// The cycle toggle's window side: the interval chosen in the exchange
// settings, then the timer and LabelCikl, each inverted.
void TForm1::TogglePollTimer() {
  Timer1->setInterval(StrToInt(FormNastr->Interval_T->currentText().toStdString()));
  if (Timer1->isActive())
    Timer1->stop();
  else
    Timer1->start();
  LabelCikl->setVisible(LabelCikl->isHidden());
}

MsgResult TForm1::ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                              MsgButtons buttons) {
  return boxes_.ShowMessage(text, caption, icon, buttons);
}

void TForm1::DisablePollTimer() { Timer1->stop(); }

void TForm1::CloseMainWindow() { close(); }
