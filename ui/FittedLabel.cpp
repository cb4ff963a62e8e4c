#include "FittedLabel.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

bool InkFits(const QFont& font, const QString& text, QSize box) {
  const QFontMetrics metrics(font);
  return metrics.tightBoundingRect(text).height() <= box.height() && metrics.horizontalAdvance(text) <= box.width();
}

// The largest size, not above `font`'s own, at which the ink of `text` fits `box`.
QFont FontFitting(QFont font, const QString& text, QSize box) {
  if (InkFits(font, text, box)) return font;
  // A bitmap face (Windows' own "MS Sans Serif" is one) keeps its few sizes
  // whatever size is asked for: only an outline face shrinks to the box.
  const QFontInfo given(font);
  if (!QFontDatabase::isSmoothlyScalable(given.family(), given.styleName()))
    font.setStyleStrategy(QFont::ForceOutline);
  // Whole pixels: hinted faces change their metrics in pixel steps. Some
  // font engines (Wine's) give no pixel size for a size set in points: the
  // line height stands in for it.
  int pixels = given.pixelSize() > 0 ? given.pixelSize() : QFontMetrics(font).height();
  while (pixels > 1 && !InkFits(font, text, box)) font.setPixelSize(--pixels);
  return font;
}

}  // namespace

TFittedLabel::TFittedLabel(const QString& text, QWidget* parent) : QLabel(text, parent), wanted_(font()) {}

void TFittedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() != QEvent::FontChange || fitting_) return;
  wanted_ = font();
  Fit();
}

void TFittedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Fit();
}

void TFittedLabel::Fit() {
  fitting_ = true;
  setFont(FontFitting(wanted_, text(), size()));
  fitting_ = false;
  // The line box placed so that the ink sits in the middle of the label; it
  // may reach past the label's edges where the face's ascent or descent is
  // empty.
  const QFontMetrics metrics(font());
  const QRect ink = metrics.tightBoundingRect(text());
  const int lineTop = (height() - ink.height()) / 2 - (metrics.ascent() + ink.top());
  lineBox_ = QRect(0, lineTop, width(), metrics.height());
}

void TFittedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, lineBox_, (alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop, palette(),
                        isEnabled(), text(), foregroundRole());
}
