#include "FittedLabel.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

// The largest size, not above `font`'s own, at which the ink of `text` fits `box`.
QFont FontFitting(QFont font, const QString& text, QSize box) {
  // Whole pixels: hinted faces change their metrics in pixel steps.
  for (int pixels = QFontInfo(font).pixelSize(); pixels > 1; font.setPixelSize(--pixels)) {
    const QFontMetrics metrics(font);
    if (metrics.tightBoundingRect(text).height() <= box.height() && metrics.horizontalAdvance(text) <= box.width())
      break;
  }
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
