// TFormFinder, "Поиск устройств": which devices answer on a port, at which
// address and line setting. The sweep runs on a thread of its own, on a port
// of its own: while it runs the main window's polling is stopped and its port
// closed; afterwards that port is opened again as it was. "Применить" gives
// the main window the setting of a device found, as "Настройка порта" would,
// and selects its number.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFinder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class TFinderSweep;
class TForm1;

class TFormFinder : public QWidget {
  Q_OBJECT
public:
  // Columns of the results table.
  enum Column { ColAddress, ColBaud, ColParity, ColStopBits, ColResult, ColLatency, kColumns };

  explicit TFormFinder(TForm1& main);
  ~TFormFinder() override;  // ends a sweep under way and waits for its thread

  QComboBox* PortBox;  // editable: a port missing from the table can be typed
  // Under the port, for a network endpoint: line settings do not apply there.
  QLabel* NetworkNote;
  QLineEdit* AddressEdit;
  std::vector<QCheckBox*> RateChecks;   // the port dialog's rates
  std::vector<QCheckBox*> FrameChecks;  // N2, N1, E1, O1, O2
  QLineEdit* ProbeEdit;
  QSpinBox* MarginSpin;
  QComboBox* StopBox;  // in StopRule's order
  QPushButton* BStart;
  QPushButton* BCancel;
  QPushButton* BApply;
  QProgressBar* Progress;
  QLabel* TimeLabel;
  QTableWidget* Results;
  QLabel* Status;

  bool Running() const { return running_; }
  // The probes of the table's rows, in the same order.
  const std::vector<ProbeResult>& Heard() const { return heard_; }

  // The plan from the inputs; false with the operator's text for the first bad one.
  bool ReadPlan(ScanPlan& plan, QString& error) const;

  void StartClick();
  void CancelClick();
  void ApplyClick();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildControls();
  void ShowIdle();
  void ShowProgress(size_t done, size_t planned, std::chrono::milliseconds remaining);
  void ShowElapsed();
  void AddRow(const ProbeResult& result);
  void Finished(bool cancelled, const QString& error);
  // Ends a sweep under way without waiting for its last word (closing the window).
  void Abandon();
  void ReopenMainPort();
  // Rates and frames are for serial lines: off, with the note, on a network endpoint.
  void ShowPortKind();
  void SelectionChanged();
  void SetStatus(const QString& text, bool error = false);

  TForm1& main_;
  std::unique_ptr<TFinderSweep> sweep_;
  bool running_ = false;
  bool cancelling_ = false;
  std::string sweptPort_;  // the port of the latest sweep, for "Применить"
  bool mainPortWasOpen_ = false;
  bool reopenPending_ = false;
  std::vector<ProbeResult> heard_;
  std::chrono::milliseconds remaining_{0};
  QElapsedTimer elapsed_;
  QTimer* ticker_;
  bool placed_ = false;
};
