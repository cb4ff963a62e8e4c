#include "StatisticsPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "StatisticsText.h"
#include "TrafficRecorder.h"
#include "WindowLook.h"

TStatisticsPanel::TStatisticsPanel(TrafficRecorder& recorder, QWidget* parent)
    : QWidget(parent), recorder_(recorder) {
  auto* title = new QLabel(QString::fromUtf8("Статистика по адресам устройств"), this);
  title->setFont(WindowFont(8, true));
  title->setWordWrap(true);  // narrowed beside the main window, it takes two lines
  SetTextColour(title, kTeal);
  BReset = new QPushButton(QString::fromUtf8("Сбросить"), this);
  BReset->setAutoDefault(false);
  BReset->setToolTip(QString::fromUtf8("начать счёт заново"));

  Table = new QTableWidget(0, kStatisticsColumns, this);
  QStringList titles;
  for (const std::string& t : StatisticsColumnTitles()) titles << QString::fromStdString(t);
  Table->setHorizontalHeaderLabels(titles);
  Table->horizontalHeaderItem(StatResults)->setToolTip(QString::fromUtf8(
      "код результата: запросов. 0 успешно, 1–127 исключение устройства, 128 чужой ответ, "
      "129 ответ неполный, 130 нет ответа, 131 ошибка контрольной суммы"));
  Table->horizontalHeaderItem(StatRepeats)->setToolTip(QString::fromUtf8("попыток сверх первой"));
  Table->verticalHeader()->hide();
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->setTabKeyNavigation(false);  // Tab goes on to the next control
  const QFontMetrics metrics(Table->font());
  for (int c = 0; c < kStatisticsColumns; ++c)
    Table->setColumnWidth(c, metrics.horizontalAdvance(titles[c]) + 24);
  Table->setColumnWidth(StatLatency, metrics.horizontalAdvance("9999,999 / 9999,999 / 9999,999") + 12);
  // The last column takes what room is left; narrow, the table scrolls.
  Table->horizontalHeader()->setStretchLastSection(true);

  auto* head = new QHBoxLayout;
  head->addWidget(title, 1);  // on one line wherever there is room for it
  head->addWidget(BReset);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(head);
  layout->addWidget(Table);

  connect(BReset, &QPushButton::clicked, this, [this] {
    recorder_.ResetStatistics();
    Refresh();
  });
}

TStatisticsPanel::Stamp TStatisticsPanel::CurrentStamp() const {
  Stamp stamp;
  for (const auto& [address, device] : recorder_.Statistics().Devices())
    stamp.emplace_back(address, device.Requests, device.Attempts, device.LatencyUs.Count());
  return stamp;
}

void TStatisticsPanel::Refresh() {
  Stamp stamp = CurrentStamp();
  if (any_ && stamp == shown_) return;
  any_ = true;
  shown_ = std::move(stamp);
  const auto& devices = recorder_.Statistics().Devices();
  Table->setRowCount(static_cast<int>(devices.size()));
  int row = 0;
  for (const auto& [address, device] : devices) {
    const StatisticsLine line = DescribeDevice(address, device);
    for (int c = 0; c < kStatisticsColumns; ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(line[static_cast<size_t>(c)]));
      item->setTextAlignment(Qt::AlignVCenter | (c == StatResults ? Qt::AlignLeft : Qt::AlignRight));
      Table->setItem(row, c, item);
    }
    ++row;
  }
}
