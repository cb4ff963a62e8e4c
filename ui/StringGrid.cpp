#include "StringGrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include "HandlerGuard.h"

// Gives the grid its get-edit-text event: the text an editor starts with.
class TGridEditDelegate : public QStyledItemDelegate {
public:
  explicit TGridEditDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    QString value = index.data(Qt::EditRole).toString();
    if (grid_->OnGetEditText) Guarded([&] { grid_->OnGetEditText(index.column(), index.row(), value); });
    editor->setProperty(kStartText, value);
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const QVariant start = editor->property(kStartText);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (start.isValid() && line) {
      line->setText(start.toString());
      editor->setProperty(kStartText, QVariant());
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }

private:
  static constexpr const char* kStartText = "gridStartText";
  TStringGrid* grid_;
};

TStringGrid::TStringGrid(int columns, int rows, int fixedRows, QWidget* parent)
    : QTableWidget(rows, columns, parent), fixedRows_(fixedRows) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setShowGrid(true);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  // No SelectedClicked: a click on the current cell would open its editor
  // only after the double-click interval, and keys typed in that interval
  // are dropped, then the late editor starts with the old text. A key opens
  // the editor at once with the key in it; a double click or F2 opens it too.
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setTabKeyNavigation(true);
  setWordWrap(false);
  setItemDelegate(new TGridEditDelegate(this));

  const QBrush headerBack = palette().brush(QPalette::Button);
  const QBrush headerText = palette().brush(QPalette::ButtonText);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      auto* item = new QTableWidgetItem();
      if (r < fixedRows_) {
        // Header cells cannot be selected or edited; disabled items are skipped by the cursor.
        item->setFlags(Qt::NoItemFlags);
        item->setBackground(headerBack);
        item->setForeground(headerText);
      } else {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
      }
      setItem(r, c, item);
    }
  }
  if (rows > fixedRows_) setCurrentCell(fixedRows_, 0);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &TStringGrid::CurrentChanged);
}

QString TStringGrid::Cell(int col, int row) const {
  const QTableWidgetItem* cell = item(row, col);
  return cell ? cell->text() : QString();
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
  if (QTableWidgetItem* cell = item(row, col)) cell->setText(text);
}

// Widths and heights are those of the cells; Qt draws the grid line inside a
// section, so each section is one pixel larger.
void TStringGrid::SetColWidth(int width) {
  horizontalHeader()->setDefaultSectionSize(width + 1);
  for (int c = 0; c < columnCount(); ++c) setColumnWidth(c, width + 1);
}

void TStringGrid::SetRowHeight(int height) {
  verticalHeader()->setDefaultSectionSize(height + 1);
  for (int r = 0; r < rowCount(); ++r) setRowHeight(r, height + 1);
}

void TStringGrid::CurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
  if (restoring_ || !current.isValid()) return;
  bool canSelect = current.row() >= fixedRows_;
  if (canSelect && OnSelectCell) Guarded([&] { OnSelectCell(current.column(), current.row(), canSelect); });
  if (!canSelect && previous.isValid()) {
    restoring_ = true;
    selectionModel()->setCurrentIndex(previous, QItemSelectionModel::ClearAndSelect);
    restoring_ = false;
  }
}
