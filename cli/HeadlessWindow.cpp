#include "HeadlessWindow.h"

namespace {
// Cells outside the data area read as empty and are not written, as a
// column past the grid's last reads in the window.
bool InGrid(int column, int row) {
  return column >= 0 && column < kGridColumns && row >= 1 && row <= kGridDataRows;
}
}  // namespace

std::string HeadlessWindow::Cell(int column, int row) const {
  if (!InGrid(column, row)) return {};
  return Grid[static_cast<size_t>(row - 1)][static_cast<size_t>(column)];
}

void HeadlessWindow::SetCell(int column, int row, const std::string& text) {
  if (InGrid(column, row)) Grid[static_cast<size_t>(row - 1)][static_cast<size_t>(column)] = text;
}

void HeadlessWindow::SetField(int n, const std::string& text) {
  if (n >= 1 && n <= static_cast<int>(Fields.size())) Fields[static_cast<size_t>(n - 1)] = text;
}

void HeadlessWindow::TogglePollTimer() {
  timerIntervalMs_ = IntervalMs;
  timerEnabled_ = !timerEnabled_;
  labelCikl_ = !labelCikl_;
}
