#include "StatisticsPanel.h"

#include <QPushButton>
#include <QTableWidget>

#include "CountsTable.h"
#include "StatisticsText.h"
#include "TrafficRecorder.h"

TStatisticsPanel::TStatisticsPanel(TrafficRecorder& recorder, QWidget* parent)
    : QWidget(parent), recorder_(recorder) {
  const std::vector<std::string> columns(StatisticsColumnTitles().begin(), StatisticsColumnTitles().end());
  const CountsTable parts = BuildCountsTable(this, "Статистика по адресам устройств", columns, StatResults, 24);
  Table = parts.Table;
  BReset = parts.Reset;
  Table->horizontalHeaderItem(StatRepeats)->setToolTip(QString::fromUtf8("попыток сверх первой"));
  const QFontMetrics metrics(Table->font());
  Table->setColumnWidth(StatLatency, metrics.horizontalAdvance("9999,999 / 9999,999 / 9999,999") + 12);

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
