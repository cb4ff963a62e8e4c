// TFormTrend, "Тренды": values over time. It follows the main window's link
// as one more observer, so every poll of the main window (and of anyone on
// that link) adds a point to each series it feeds, stamped when the answer
// arrived, or a gap when it failed. Its own "Цикл" runs its poll list in
// turn on the same link, one transaction per turn of the event loop and
// never while another transaction is under way. Series are added here by
// hand or from the monitor's value view; the view slides over the last 10 s
// to 24 h, or shows all, and can be paused while the polls go on; two
// markers measure between them; PNG and CSV export; a poll log on disk.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "AnswerFollower.h"
#include "PollList.h"
#include "TrendRecorder.h"

class OperatorInterface;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTimer;
class TComPortClass;
class TTrendPlot;

class TFormTrend : public QWidget {
  Q_OBJECT
public:
  static constexpr int kRefreshMs = 200;

  // `main`: the main window, which it opens beside (none: at the screen's left edge).
  TFormTrend(TComPortClass& link, OperatorInterface& boxes, const QWidget* main = nullptr);
  ~TFormTrend() override;

  // The top row.
  QPushButton* BCycle;       // "Цикл": the poll list, in turn
  QComboBox* PeriodChoice;   // ms between cycles
  QComboBox* WindowChoice;   // 10 с … 24 ч, "всё"
  QPushButton* BPause;       // "Пауза" / "Продолжить": the view stands, polling goes on
  QPushButton* BClear;
  QPushButton* BSavePng;
  QPushButton* BSaveCsv;
  QPushButton* BLog;         // "Журнал…" / "Остановить журнал"
  QSpinBox* LogMb;           // MB per log file, 0: one file
  TTrendPlot* Plot;
  QLabel* Markers;           // A, B and what lies between them
  QLabel* Status;
  QTabWidget* Tabs;

  // "Ряды": the series and the form that adds one.
  QTableWidget* SeriesTable;
  QSpinBox* SeriesDevice;
  QSpinBox* SeriesCode;
  QLineEdit* SeriesStart;   // the first register or bit asked for; empty: any
  QSpinBox* SeriesOffset;   // bytes into the answer's data
  QComboBox* SeriesType;
  QComboBox* SeriesOrder;
  QLineEdit* SeriesScale;
  QLineEdit* SeriesShift;
  QLineEdit* SeriesUnit;
  QLineEdit* SeriesName;
  QComboBox* SeriesAxisChoice;
  QPushButton* BAddSeries;
  QPushButton* BRemoveSeries;

  // "Опрос": the poll list of the window's own "Цикл".
  QTableWidget* PollTable;
  QSpinBox* PollDevice;
  QSpinBox* PollCode;
  QLineEdit* PollData;
  QPushButton* BAddPoll;
  QPushButton* BRemovePoll;
  QLabel* PollHint;

  QTimer* Ticker;      // refreshes the view
  QTimer* CycleTimer;  // starts a cycle of the poll list

  const TrendRecorder& Recorder() const { return recorder_; }
  const PollCycle& Cycle() const { return cycle_; }
  AnswerFollower& Follower() { return follower_; }

  void AddSeries(const SeriesDef& def);
  void AddPollEntry(const PollEntry& entry);
  bool Paused() const { return paused_; }
  bool Cycling() const;

  // What the timer does: the view moved on (unless paused), the texts.
  void Refresh();
  bool SavePng(const QString& path) const;
  bool SaveCsv(const QString& path) const;
  // Starts the log into `path`; false (and a box) when it cannot be made.
  bool StartLog(const QString& path);
  void StopLog();

  void CycleClick();
  void PauseClick();
  void ClearClick();
  void AddSeriesClick();
  void RemoveSeriesClick();
  void AddPollClick();
  void RemovePollClick();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildControls();
  QWidget* BuildSeriesTab();
  QWidget* BuildPollTab();
  void ConnectHandlers();
  void ShowSeries();
  void ShowPolls();
  void ShowMarkers();
  void ShowStatus();
  void CycleTick();
  void RunNextEntry();
  void SetCycling(bool on);
  int64_t WindowUs() const;  // 0: all
  void Warn(const std::string& text);

  const QWidget* main_;
  TComPortClass& link_;
  OperatorInterface& boxes_;
  TrendRecorder recorder_;
  AnswerFollower follower_;
  PollCycle cycle_;
  bool running_ = false;  // our own transaction is under way
  bool paused_ = false;
  bool placed_ = false;
};
