// TFormFinder, "Поиск устройств": which devices answer on a port, at which
// address and line setting. The sweep runs on a thread of its own, on a port
// of its own: while it runs the main window's polling is stopped and its port
// closed; afterwards that port is opened again and polling resumes as before.
// "Применить" gives the main window the setting of a device found, as
// "Настройка порта" would, and selects its number. It knows the main window
// only through FinderHost.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeviceFinder.h"
#include "FinderHost.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class OperatorInterface;
class TFinderSweep;

class TFormFinder : public QWidget {
  Q_OBJECT
public:
  // Columns of the results table.
  enum Column { ColAddress, ColBaud, ColParity, ColStopBits, ColResult, ColLatency, kColumns };

  // `boxes`: where a port that does not open again is reported; `beside`:
  // the window it is first placed beside.
  TFormFinder(FinderHost& host, OperatorInterface& boxes, const QWidget* beside = nullptr);
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
  QCheckBox* NoiseChoice;  // noise rows shown or not
  QTableWidget* Results;
  QLabel* Status;

  bool Running() const { return running_; }
  // Every probe that heard something, in the order heard.
  const std::vector<ProbeResult>& Heard() const { return heard_; }
  // What a row of the table stands for: a device found, or the noise heard at
  // one setting (how many probes, at which addresses).
  struct Row {
    ProbeResult First;  // the device's probe, or the setting's first noise
    int NoiseCount = 0;
    int LastAddress = 0;
  };
  const std::vector<Row>& Rows() const { return rows_; }

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
  void Heard(const ProbeResult& result);
  void ShowRows();
  void FillRow(int row, const Row& r);
  void Finished(bool cancelled, const QString& error);
  // Ends a sweep under way without waiting for its last word (closing the window).
  void Abandon();
  void ReleaseMainPort();
  void ReopenMainPort();
  // Rates and frames are for serial lines: off, with the note, on a network endpoint.
  void ShowPortKind();
  void SelectionChanged();
  void SetStatus(const QString& text, bool error = false);

  FinderHost& host_;
  OperatorInterface& boxes_;
  const QWidget* beside_;
  std::unique_ptr<TFinderSweep> sweep_;
  bool running_ = false;
  bool cancelling_ = false;
  std::string sweptPort_;  // the port of the latest sweep, for "Применить"
  std::optional<FinderHost::Release> released_;  // the main window's port, while borrowed
  QString pollingNote_;  // what the sweep did to the main window's polling
  std::vector<ProbeResult> heard_;
  std::vector<Row> rows_;        // all of them
  std::vector<size_t> shown_;    // the table's rows: indices into rows_
  std::chrono::milliseconds remaining_{0};
  QElapsedTimer elapsed_;
  QTimer* ticker_;
  bool placed_ = false;
};
