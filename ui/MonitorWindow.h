// TFormMonitor, "Монитор обмена": every frame on the line, live, with its
// timing; the link statistics per device; the value view. While the window
// is shown its recorder follows the main window's link; closed, it keeps the
// frames (at most its ring's capacity) and goes on with them when shown again.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "DeviceFinder.h"
#include "FrameRing.h"
#include "FrameText.h"
#include "LineSettings.h"
#include "TrafficRecorder.h"

class FrameSource;
class LineAnalyser;
class ListenSession;
class OperatorInterface;
class QGridLayout;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class TComPortClass;
class TFrameTableModel;
class TListenStatisticsPanel;
class TStatisticsPanel;
class TStringGrid;
class TValuePanel;

class TFormMonitor : public QWidget {
  Q_OBJECT
public:
  static constexpr int kRefreshMs = 200;

  // `grid`: the main window's grid, for the value view; `boxes`: where a
  // failed save is reported.
  TFormMonitor(TComPortClass& link, TStringGrid* grid, OperatorInterface& boxes,
               size_t capacity = FrameRing::kDefaultCapacity);
  ~TFormMonitor() override;

  QPushButton* BPause;  // "Пауза" / "Продолжить"
  QPushButton* BClear;
  QPushButton* BCopy;
  QPushButton* BSaveCsv;
  QPushButton* BSaveText;
  QLabel* Status;
  QTableView* FrameView;
  TStatisticsPanel* Statistics;
  TValuePanel* Values;
  QTimer* Ticker;

  // Listen mode ("Прослушивание линии"): the list, values and statistics
  // show a line the tool only hears, through a port that is never written.
  QPushButton* BListen;  // "Прослушивание линии…" / "Остановить прослушивание"
  QLabel* ListenBanner;  // while listening: which port, and that nothing is sent
  TListenStatisticsPanel* ListenStatistics;
  static constexpr int kListenRefreshMs = 50;
  // False (with a box saying why) when the port cannot be opened.
  bool StartListening(const std::string& port, int32_t rate, const LineFrame& frame);
  void StopListening();
  bool Listening() const { return session_ != nullptr; }
  LineAnalyser* Analyser() { return analyser_.get(); }
  void ListenClick();

  TrafficRecorder& Recorder() { return recorder_; }
  TFrameTableModel& Model() { return *model_; }
  bool Paused() const { return paused_; }

  // What the timer does: the new frames into the list (unless paused), the
  // statistics, the value view.
  void Refresh();

  // The list's lines: all of them, or those selected (all when none is).
  std::vector<FrameLine> Lines() const;
  std::vector<FrameLine> DatedLines() const;  // the time with its date, for CSV
  std::vector<FrameLine> SelectedLines() const;
  // Write the list to a file; false when it cannot be written.
  bool SaveCsv(const QString& path) const;
  bool SaveText(const QString& path) const;

  // A probe of the device finder's sweep, listed as the finder's.
  void ShowProbe(const ProbeResult& probe);

  void PauseClick();
  void ClearClick();
  void CopyClick();
  void SaveCsvClick();
  void SaveTextClick();

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void BuildControls();
  // The buttons and the counts in one row, or, narrow, in three.
  void ArrangeButtons(bool oneRow);
  int OneRowWidth() const;
  void SyncFrames();
  void ShowStatus();
  void CurrentFrameChanged();
  void ShowModel(TFrameTableModel* model);
  const FrameSource& Source() const;
  bool Save(const QString& path, const std::string& text) const;
  QString AskPath(const char* caption, const char* suffix, const char* filter);

  TComPortClass& link_;
  OperatorInterface& boxes_;
  TStringGrid* grid_;
  TrafficRecorder recorder_;
  TFrameTableModel* model_;  // the list shown: the link's traffic, or the line heard
  TFrameTableModel* linkModel_;
  std::unique_ptr<LineAnalyser> analyser_;
  std::unique_ptr<ListenSession> session_;
  std::string listenPort_;
  bool paused_ = false;
  bool placed_ = false;
  QGridLayout* buttons_ = nullptr;
  bool oneRow_ = true;
};
