// The operator's way into a grid cell: a real mouse click on the cell, a
// pause, then real key presses, the way a person types after clicking.
#pragma once

#include <QString>

class TStringGrid;

// A left click in the middle of the cell (col, row).
void ClickCell(TStringGrid* grid, int col, int row);

// Clicks (col, row), lets events run for `pauseMs`, types `keys` into the
// widget that has the focus, ends the entry with Return and waits out the
// double-click interval, so that any editor opening late would have opened.
void ClickAndType(TStringGrid* grid, int col, int row, int pauseMs, const QString& keys);
