#include "CountsTable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "WindowLook.h"

CountsTable BuildCountsTable(QWidget* panel, const char* title, const std::vector<std::string>& columns,
                             int resultsColumn, int padding) {
  auto* label = new QLabel(QString::fromUtf8(title), panel);
  label->setFont(WindowFont(8, true));
  label->setWordWrap(true);  // narrowed beside the main window, it takes two lines
  SetTextColour(label, kTeal);
  auto* reset = new QPushButton(QString::fromUtf8("Сбросить"), panel);
  reset->setAutoDefault(false);
  reset->setToolTip(QString::fromUtf8("начать счёт заново"));

  const int count = static_cast<int>(columns.size());
  auto* table = new QTableWidget(0, count, panel);
  QStringList titles;
  for (const std::string& t : columns) titles << QString::fromStdString(t);
  table->setHorizontalHeaderLabels(titles);
  table->horizontalHeaderItem(resultsColumn)->setToolTip(QString::fromUtf8(
      "код результата: запросов. 0 успешно, 1–127 исключение устройства, 128 чужой ответ, "
      "129 ответ неполный, 130 нет ответа, 131 ошибка контрольной суммы"));
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->setTabKeyNavigation(false);  // Tab goes on to the next control
  const QFontMetrics metrics(table->font());
  for (int c = 0; c < count; ++c) table->setColumnWidth(c, metrics.horizontalAdvance(titles[c]) + padding);
  // The last column takes what room is left; narrow, the table scrolls.
  table->horizontalHeader()->setStretchLastSection(true);

  auto* head = new QHBoxLayout;
  head->addWidget(label, 1);  // on one line wherever there is room for it
  head->addWidget(reset);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(head);
  layout->addWidget(table);
  return {table, reset};
}
