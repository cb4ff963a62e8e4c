// "Прослушивание линии": the port to hear and its line settings. The port
// is only ever read; the dialog says so, and what the adapter's own delay
// (latency_timer) means for the timing seen through it.
#pragma once

#include <QDialog>
#include <string>

#include "LineSettings.h"

class QComboBox;
class QLabel;

class TListenDialog : public QDialog {
  Q_OBJECT
public:
  explicit TListenDialog(QWidget* parent);

  QComboBox* CBoxPort;    // COM names with their devices; a name may be typed
  QComboBox* CBoxRate;
  QComboBox* CBoxParity;  // N, E, O
  QComboBox* CBoxStop;    // 1, 2
  QLabel* LabelAdapter;   // the adapter's latency_timer and what it means

  std::string PortName() const;
  int32_t Rate() const;
  LineFrame Frame() const;

private:
  void DescribeAdapter();
};

// What an adapter's latency timer of `ms` means at `rate` with `frame`, or
// empty when it does not matter (none known, or 1 ms and less).
std::string AdapterDelayWarning(int latencyTimerMs, int32_t rate, const LineFrame& frame);
