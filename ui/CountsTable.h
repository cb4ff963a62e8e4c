// The frame of the monitor's statistics panels: a teal title, "Сбросить"
// beside it, and below a read-only table of one row per device address
// whose result column takes the room left.
#pragma once

#include <string>
#include <vector>

class QPushButton;
class QTableWidget;
class QWidget;

struct CountsTable {
  QTableWidget* Table;
  QPushButton* Reset;
};

// Builds it into `panel` (which gets its layout); each column is as wide as
// its title and `padding`.
CountsTable BuildCountsTable(QWidget* panel, const char* title, const std::vector<std::string>& columns,
                             int resultsColumn, int padding);
