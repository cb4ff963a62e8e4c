#include "ValuePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "FrameRtuForm.h"
#include "FunctionCodes.h"
#include "GridTexts.h"
#include "StringGrid.h"
#include "TypedValue.h"
#include "WindowLook.h"

TValuePanel::TValuePanel(TStringGrid* grid, QWidget* parent) : QWidget(parent), grid_(grid) {
  auto* title = new QLabel(QString::fromUtf8("Значения"), this);
  title->setFont(WindowFont(8, true));
  SetTextColour(title, kTeal);
  CellsChoice = new QCheckBox(QString::fromUtf8("ячейки таблицы главного окна"), this);
  CellsChoice->setToolTip(
      QString::fromUtf8("выделенные ячейки таблицы главного окна, по строкам, вместо кадра ответа"));
  OrderChoice = new QComboBox(this);
  for (ByteOrder order : kByteOrders) OrderChoice->addItem(ByteOrderName(order));
  OrderChoice->setToolTip(QString::fromUtf8(
      "A, B, C, D — байты в порядке прихода. ABCD: старший регистр первым, старший байт первым; "
      "CDAB: регистры переставлены; BADC: байты в регистре переставлены; DCBA: и то и другое"));
  auto* orderLabel = new QLabel(QString::fromUtf8("Порядок байт:"), this);
  orderLabel->setBuddy(OrderChoice);
  Source = new QLabel(this);
  Source->setWordWrap(true);

  Table = new QTableWidget(0, kValueColumns, this);
  QStringList titles;
  for (const std::string& t : ValueColumnTitles()) titles << QString::fromStdString(t);
  Table->setHorizontalHeaderLabels(titles);
  Table->verticalHeader()->hide();
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->setTabKeyNavigation(false);  // Tab goes on to the next control
  const QFontMetrics metrics(Table->font());
  const char* const widest[kValueColumns] = {"65535",       "00 00",         "65535",
                                             "-32768",      "4294967295",    "-2147483648",
                                             "-3.402823e+38", "18446744073709551615",
                                             "-9223372036854775808", "-1.7976931348623157e+308", "\\xFF\\xFF"};
  for (int c = 0; c < kValueColumns; ++c)
    Table->setColumnWidth(c, std::max(metrics.horizontalAdvance(QString::fromUtf8(widest[c])),
                                      metrics.horizontalAdvance(titles[c])) + 16);
  Table->horizontalHeader()->setStretchLastSection(true);

  Bits = new QPlainTextEdit(this);
  Bits->setReadOnly(true);
  Bits->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  BToTrend = new QPushButton(QString::fromUtf8("В тренд"), this);
  BToTrend->setAutoDefault(false);
  BToTrend->setToolTip(QString::fromUtf8("выбранное значение (строка — регистр, столбец — тип) рядом в окне «Тренды»"));

  auto* choices = new QHBoxLayout;
  choices->addWidget(orderLabel);
  choices->addWidget(OrderChoice);
  choices->addStretch();
  choices->addWidget(BToTrend);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(title);
  layout->addWidget(CellsChoice);
  layout->addLayout(choices);
  layout->addWidget(Source);
  layout->addWidget(Table, 3);
  layout->addWidget(Bits, 1);

  connect(CellsChoice, &QCheckBox::toggled, this, &TValuePanel::Refresh);
  connect(OrderChoice, &QComboBox::currentIndexChanged, this, &TValuePanel::Refresh);
  connect(BToTrend, &QPushButton::clicked, this, &TValuePanel::ToTrendClick);
  Refresh();
}

void TValuePanel::ToTrendClick() {
  const int row = Table->currentRow(), column = Table->currentColumn();
  if (!frame_ || CellsChoice->isChecked() || !shown_ || !shown_->Registers || row < 0 || !OnToTrend) return;
  static constexpr std::pair<int, ValueType> kColumnTypes[] = {
      {ValS16, ValueType::S16}, {ValU32, ValueType::U32}, {ValS32, ValueType::S32}, {ValFloat, ValueType::F32},
      {ValU64, ValueType::U64}, {ValS64, ValueType::S64}, {ValDouble, ValueType::F64}};
  ValueType type = ValueType::U16;  // the register's own columns
  for (const auto& [c, t] : kColumnTypes)
    if (c == column) type = t;
  SeriesDef def;
  def.Source = {frameDevice_, frameCode_, frameStart_};
  def.Value = ValueAt(2 * static_cast<size_t>(row), type, shown_->Order);
  if (ReadValue(shown_->Data, def.Value).Is == TypedValue::Kind::Missing) return;  // too few registers after it
  OnToTrend(def);
}

void TValuePanel::ShowFrame(const MonitorFrame* answer, const MonitorFrame* request) {
  frame_.reset();
  frameStart_.reset();
  frameCount_.reset();
  frameCode_ = 0;
  if (answer && answer->Direction == FrameDirection::Rx) {
    const std::vector<uint8_t> bytes = RtuBytesOf(*answer);  // Modbus TCP without its header
    const auto data = AnswerData(bytes);
    if (!data.empty()) {
      frame_.emplace(data.begin(), data.end());
      frameCode_ = bytes[1];
      frameDevice_ = bytes[0];
      if (request && request->Direction == FrameDirection::Tx) {
        const std::vector<uint8_t> asked = RtuBytesOf(*request);
        frameStart_ = RequestedStart(asked);
        frameCount_ = RequestedQuantity(asked);
      }
    }
  }
  Refresh();
}

TValuePanel::Shown TValuePanel::FromCells() const {
  Shown shown;
  std::set<std::pair<int, int>> cells;  // (row, column): row order
  for (const QTableWidgetSelectionRange& range : grid_->selectedRanges())
    for (int r = std::max(range.topRow(), grid_->FixedRows()); r <= range.bottomRow(); ++r)
      for (int c = range.leftColumn(); c <= range.rightColumn(); ++c) cells.emplace(r, c);
  int empty = 0;
  for (const auto& [row, column] : cells) {
    const std::string text = grid_->Cell(column, row).trimmed().toStdString();
    if (text.empty()) {
      ++empty;
      continue;
    }
    // As a block request reads a cell: hexadecimal, its low byte.
    shown.Data.push_back(static_cast<uint8_t>(HexCellValue(text) & 0xFF));
  }
  shown.BitList = true;
  shown.Source = cells.empty() ? QString::fromUtf8("Выделите ячейки в таблице главного окна.")
                               : QString::fromUtf8("Ячейки таблицы главного окна: %1 байт").arg(shown.Data.size());
  if (empty > 0) shown.Source += QString::fromUtf8(", пустых ячеек пропущено: %1").arg(empty);
  return shown;
}

TValuePanel::Shown TValuePanel::FromFrame() const {
  Shown shown;
  if (!frame_) {
    shown.Source = QString::fromUtf8("Выберите строку ответа (←) с данными.");
    return shown;
  }
  shown.Data = *frame_;
  shown.First = frameStart_.value_or(0);
  if (frameCount_) shown.BitCount = *frameCount_;
  // Coil and input answers (codes 1 and 2) carry bits, not registers.
  shown.Registers = !ReadsBits(frameCode_);
  shown.BitList = !shown.Registers;
  shown.Source = QString::fromUtf8("Ответ, функция %1: %2 байт данных").arg(frameCode_).arg(shown.Data.size());
  if (frameStart_)
    shown.Source += QString::fromUtf8(shown.Registers ? ", с регистра %1" : ", с бита %1").arg(*frameStart_);
  return shown;
}

void TValuePanel::Refresh() {
  Shown shown = CellsChoice->isChecked() ? FromCells() : FromFrame();
  shown.Order = kByteOrders[std::clamp(OrderChoice->currentIndex(), 0, 3)];
  if (shown_ && *shown_ == shown) return;  // nothing new: keep the table as the user scrolled it
  Show(shown);
  shown_ = std::move(shown);
}

void TValuePanel::Show(const Shown& shown) {
  Source->setText(shown.Source);
  Table->setVisible(shown.Registers);
  Table->setRowCount(0);
  if (shown.Registers) {
    const auto lines = DescribeValues(shown.Data, shown.Order, shown.First);
    Table->setRowCount(static_cast<int>(lines.size()));
    for (size_t r = 0; r < lines.size(); ++r)
      for (int c = 0; c < kValueColumns; ++c) {
        auto* item = new QTableWidgetItem(QString::fromStdString(lines[r][static_cast<size_t>(c)]));
        item->setTextAlignment(Qt::AlignVCenter | Qt::AlignRight);
        Table->setItem(static_cast<int>(r), c, item);
      }
  }
  QStringList bits;
  if (shown.BitList)
    for (const std::string& line : DescribeBits(shown.Data, shown.First, shown.BitCount))
      bits << QString::fromStdString(line);
  Bits->setPlainText(bits.isEmpty() ? QString() : QString::fromUtf8("Биты:\n") + bits.join('\n'));
  Bits->setVisible(shown.BitList);
}
