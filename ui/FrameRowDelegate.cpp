#include "FrameRowDelegate.h"

#include <QPainter>
#include <QStaticText>
#include <algorithm>

#include "FrameText.h"

namespace {
// The text as it fits into `width`. Only the long columns are measured:
// the bytes, in a fixed-pitch face, by counting; the result and the notes
// by the font. The others were given room for what they hold, and at worst
// are cut at the cell's edge.
QString Fitted(const QString& text, int column, const QFont& font, int width) {
  if (column == ColBytes) {
    // Fractional advances: rounded ones add up to a character too many.
    const qreal advance = std::max<qreal>(1, QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')));
    const int fit = static_cast<int>(width / advance);
    return text.size() <= fit ? text : text.left(std::max(0, fit - 1)) + QChar(0x2026);
  }
  if (column == ColResult || column == ColNotes) return QFontMetrics(font).elidedText(text, Qt::ElideRight, width);
  return text;
}
}  // namespace

void TFrameRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QVariant back = index.data(Qt::BackgroundRole);
  if (selected)
    painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
  else if (back.canConvert<QBrush>())
    painter->fillRect(option.rect, back.value<QBrush>());

  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const QVariant font = index.data(Qt::FontRole);
  const QVariant ink = index.data(Qt::ForegroundRole);
  painter->save();
  if (font.isValid()) painter->setFont(font.value<QFont>());
  painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                  : ink.canConvert<QBrush>() ? ink.value<QBrush>().color()
                                             : option.palette.color(QPalette::Text));
  const QRect room = option.rect.adjusted(3, 0, -3, 0);
  const auto align = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
  const QString shown = Fitted(text, index.column(), painter->font(), room.width());
  // Most cells repeat what cells above them said: their text is laid out once.
  const QString key = (index.column() == ColBytes ? QLatin1Char('b') : QLatin1Char('t')) + shown;
  auto found = laidOut_.find(key);
  if (found == laidOut_.end()) {
    if (laidOut_.size() >= kLaidOut) laidOut_.clear();
    QStaticText staticText(shown);
    staticText.setTextFormat(Qt::PlainText);
    staticText.prepare(QTransform(), painter->font());
    found = laidOut_.insert(key, staticText);
  }
  const QSizeF size = found->size();
  const qreal x = align & Qt::AlignRight ? room.right() + 1 - size.width() : room.left();
  const qreal y = room.top() + (room.height() - size.height()) / 2;
  painter->setClipRect(option.rect, Qt::IntersectClip);
  painter->drawStaticText(QPointF(x, y), *found);
  painter->restore();
}
