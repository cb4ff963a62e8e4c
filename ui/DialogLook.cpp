#include "DialogLook.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QStyledItemDelegate>
#include <algorithm>

#include "WindowLook.h"

namespace {
// Keeps the list's items 16 pixels high, as the dialogs were laid out.
class FixedHeightItems : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), 16};
  }
};
}  // namespace

void SetUpDialog(QDialog* dialog, const char* caption, int width, int height) {
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint);
  dialog->setWindowTitle(QString::fromUtf8(caption));
  dialog->setFixedSize(width, height);
  dialog->setFont(WindowFont(8));
}

QLabel* DialogLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                    bool wordWrap) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setFont(WindowFont(8, true));
  SetTextColour(label, kTeal);
  label->setWordWrap(wordWrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Like an auto-sized label, a single line grows to fit its text in the fallback font.
  if (!wordWrap) {
    width = std::max(width, label->sizeHint().width());
    height = std::max(height, label->sizeHint().height());
  }
  label->setGeometry(left, top, width, height);
  return label;
}

QComboBox* DialogList(QWidget* parent, const QStringList& items, int left, int top, int width,
                      int height) {
  auto* list = new QComboBox(parent);
  list->setFont(WindowFont(10));
  list->setItemDelegate(new FixedHeightItems(list));
  list->addItems(items);
  list->setGeometry(left, top, width, height);
  return list;
}
