// Draws the monitor's cells plainly: the background, one line of text, the
// long columns cut short with an ellipsis. The style's own item drawing lays
// each cell's text out anew and measures it for eliding; with the list
// following a busy line that was most of the window's cost.
#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class TFrameRowDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  static constexpr qsizetype kLaidOut = 4096;
  mutable QHash<QString, QStaticText> laidOut_;
};
