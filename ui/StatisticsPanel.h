// The monitor's link statistics: one row per device address, with a button
// that starts the counts afresh.
#pragma once

#include <QWidget>
#include <cstdint>
#include <tuple>
#include <vector>

class QPushButton;
class QTableWidget;
class TrafficRecorder;

class TStatisticsPanel : public QWidget {
  Q_OBJECT
public:
  TStatisticsPanel(TrafficRecorder& recorder, QWidget* parent);

  QTableWidget* Table;
  QPushButton* BReset;  // "Сбросить"

  // Shows the counts if they changed since the last look.
  void Refresh();

private:
  // What changes whenever a count does; the median is worked out only then.
  using Stamp = std::vector<std::tuple<uint8_t, int, int, int64_t>>;
  Stamp CurrentStamp() const;

  TrafficRecorder& recorder_;
  Stamp shown_;
  bool any_ = false;
};
