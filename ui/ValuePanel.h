// The monitor's value view: the data of the chosen answer frame, or of the
// cells selected in the main window's grid (in row order), as 16-bit and
// 32-bit values in a chosen byte order, and as bits for coil and input
// answers.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "MonitorFrame.h"
#include "TrendSeries.h"
#include "ValueView.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TStringGrid;

class TValuePanel : public QWidget {
  Q_OBJECT
public:
  TValuePanel(TStringGrid* grid, QWidget* parent);

  QCheckBox* CellsChoice;  // "ячейки таблицы главного окна"
  QComboBox* OrderChoice;  // ABCD, CDAB, BADC, DCBA
  QLabel* Source;          // what is shown
  QTableWidget* Table;     // one row per register
  QPlainTextEdit* Bits;   // for coil and input data
  QPushButton* BToTrend;  // "В тренд": the value of the chosen cell as a series
  // Told of the series "В тренд" makes: the answer's device and request, the
  // chosen register's offset, the column's type, the order shown.
  std::function<void(const SeriesDef&)> OnToTrend;
  void ToTrendClick();

  // The answer chosen in the frame list (nullptr: none) and the request before it, if any.
  void ShowFrame(const MonitorFrame* answer, const MonitorFrame* request);
  // Shows what is chosen now; the grid's cells are read afresh.
  void Refresh();

private:
  struct Shown {
    std::vector<uint8_t> Data;
    size_t First = 0;
    std::optional<size_t> BitCount;  // the coils or inputs read, when the request says
    bool Registers = true, BitList = false;
    QString Source;
    ByteOrder Order = ByteOrder::ABCD;
    bool operator==(const Shown&) const = default;
  };
  Shown FromCells() const;
  Shown FromFrame() const;
  void Show(const Shown& shown);

  TStringGrid* grid_;
  // The chosen frame's data: its bytes, the request's first register, its code.
  std::optional<std::vector<uint8_t>> frame_;
  std::optional<uint16_t> frameStart_, frameCount_;
  uint8_t frameCode_ = 0;
  uint8_t frameDevice_ = 0;
  std::optional<Shown> shown_;
};
