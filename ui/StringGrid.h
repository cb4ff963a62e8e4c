// The main window's string grid: 16 columns, one fixed header row and data
// rows below it, cells addressed (column, row) as the other parts of the
// program do, with the select-cell and get-edit-text events of its window.
#pragma once

#include <QString>
#include <QTableWidget>
#include <functional>

class TStringGrid : public QTableWidget {
  Q_OBJECT
public:
  TStringGrid(int columns, int rows, int fixedRows, QWidget* parent);

  QString Cell(int col, int row) const;
  void SetCell(int col, int row, const QString& text);

  int FixedRows() const { return fixedRows_; }
  bool Editing() const { return state() == EditingState; }
  void SetColWidth(int width);
  void SetRowHeight(int height);

  // The selection is about to move to (col, row); clearing `canSelect` keeps it where it was.
  std::function<void(int col, int row, bool& canSelect)> OnSelectCell;
  // The cell editor is about to open on (col, row) with `value`, which may be changed.
  std::function<void(int col, int row, QString& value)> OnGetEditText;

private:
  friend class TGridEditDelegate;
  void CurrentChanged(const QModelIndex& current, const QModelIndex& previous);

  int fixedRows_;
  bool restoring_ = false;
};
