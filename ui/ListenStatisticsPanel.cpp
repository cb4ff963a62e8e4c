#include "ListenStatisticsPanel.h"

#include <QPushButton>
#include <QTableWidget>

#include "CountsTable.h"
#include "LineAnalyser.h"
#include "ListenStatisticsText.h"

TListenStatisticsPanel::TListenStatisticsPanel(QWidget* parent) : QWidget(parent) {
  const ListenLine& titles = ListenColumnTitles();
  const CountsTable parts = BuildCountsTable(this, "Статистика линии по адресам",
                                             std::vector<std::string>(titles.begin(), titles.end()), ListenResults, 16);
  Table = parts.Table;
  BReset = parts.Reset;
  Table->horizontalHeaderItem(ListenPeriod)->setToolTip(
      QString::fromUtf8("время от запроса мастера к этому адресу до следующего"));
  Table->horizontalHeaderItem(ListenTooSoon)->setToolTip(QString::fromUtf8(
      "ответ начался раньше, чем прошла пауза в 3,5 символа после запроса"));

  connect(BReset, &QPushButton::clicked, this, [this] {
    if (shown_) shown_->ResetStatistics();
    Refresh(shown_);
  });
}

void TListenStatisticsPanel::Refresh(LineAnalyser* analyser) {
  shown_ = analyser;
  if (!analyser) {
    Table->setRowCount(0);
    return;
  }
  const auto& devices = analyser->Statistics().Devices();
  Table->setRowCount(static_cast<int>(devices.size()));
  int row = 0;
  for (const auto& [address, device] : devices) {
    const ListenLine line = DescribeListenDevice(address, device);
    for (int c = 0; c < kListenColumns; ++c) {
      const QString text = QString::fromStdString(line[static_cast<size_t>(c)]);
      QTableWidgetItem* item = Table->item(row, c);
      if (!item) Table->setItem(row, c, item = new QTableWidgetItem);
      if (item->text() != text) item->setText(text);
    }
    ++row;
  }
}
