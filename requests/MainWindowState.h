// What the request flow needs of the main window: the entries, the grid, the
// display fields and the polling timer. The Qt window implements it, and so
// does the command-line front end, so that both run the very same flow.
#pragma once

#include <string>

class EntryField;

class MainWindowState {
public:
  virtual ~MainWindowState() = default;
  virtual EntryField& RequestEntry() = 0;  // EditZapr
  virtual EntryField& Data1Entry() = 0;    // EditDat1
  virtual EntryField& Data2Entry() = 0;    // EditDat2
  // Data cells: column 0..15, row 1..16 (row 0 is the header).
  virtual std::string Cell(int column, int row) const = 0;
  virtual void SetCell(int column, int row, const std::string& text) = 0;
  // Edit1..Edit20, n from 1.
  virtual void SetField(int n, const std::string& text) = 0;
  virtual void ResetGridFontColour() = 0;
  // Timer1: whether cyclic polling runs, and the toggle's window side
  // (interval from Interval_T, timer, LabelCikl), all inverted together.
  virtual bool PollTimerEnabled() const = 0;
  virtual void TogglePollTimer() = 0;
};
