// Listening's statistics per device address: requests, good answers, each
// result, answer latency and polling period, answers before 3.5 characters
// of silence and without request; with a button that counts afresh.
#pragma once

#include <QWidget>

class LineAnalyser;
class QPushButton;
class QTableWidget;

class TListenStatisticsPanel : public QWidget {
  Q_OBJECT
public:
  explicit TListenStatisticsPanel(QWidget* parent);

  QTableWidget* Table;
  QPushButton* BReset;  // "Сбросить"

  // Shows the counts of `analyser` (none when it is null).
  void Refresh(LineAnalyser* analyser);

private:
  LineAnalyser* shown_ = nullptr;
};
