// The main window's state without a window: the three entries, the grid's
// data cells, Edit1..Edit20 and the polling timer, as the request flow sees
// them. Starts as the window starts: entries "0", fields "0", grid empty,
// polling off.
#pragma once

#include <array>
#include <string>

#include "EntryField.h"
#include "GridTexts.h"
#include "MainWindowState.h"

class HeadlessEntry : public EntryField {
public:
  explicit HeadlessEntry(std::string text) : text_(std::move(text)) {}
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetBackground(uint8_t, uint8_t, uint8_t) override {}  // nothing to colour

private:
  std::string text_;
};

class HeadlessWindow : public MainWindowState {
public:
  HeadlessWindow() { Fields.fill("0"); }

  EntryField& RequestEntry() override { return Zapr; }
  EntryField& Data1Entry() override { return Dat1; }
  EntryField& Data2Entry() override { return Dat2; }
  std::string Cell(int column, int row) const override;
  void SetCell(int column, int row, const std::string& text) override;
  void SetField(int n, const std::string& text) override;
  void ResetGridFontColour() override {}
  bool PollTimerEnabled() const override { return timerEnabled_; }
  // The interval comes from IntervalMs, as the window's from Interval_T.
  void TogglePollTimer() override;

  // What the link does when the port goes away: the timer stops, nothing else.
  void DisablePollTimer() { timerEnabled_ = false; }
  int TimerIntervalMs() const { return timerIntervalMs_; }
  bool PollingLabelShown() const { return labelCikl_; }

  HeadlessEntry Zapr{"0"}, Dat1{"0"}, Dat2{"0"};
  GridTexts Grid;  // every cell empty; not `Grid{}`, which crashes clang 14 (fuzz build)
  std::array<std::string, 20> Fields;
  int IntervalMs = 3000;  // Interval_T

private:
  bool timerEnabled_ = false;
  int timerIntervalMs_ = 500;
  bool labelCikl_ = false;
};
