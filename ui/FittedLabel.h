// A one-line label of fixed size whose text must show whole. Which face
// stands in for the window font differs between machines, and many carry
// more room above their letters than a small box has: their descenders
// would be cut off at the box's foot. The label therefore places the ink of
// its text in the middle of the box, and shrinks the font it is given only
// where the ink itself is taller or wider than the box.
#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>

class TFittedLabel : public QLabel {
public:
  TFittedLabel(const QString& text, QWidget* parent);

protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void Fit();

  QFont wanted_;  // the font given, before shrinking
  QRect lineBox_;  // where the text's line goes
  bool fitting_ = false;
};
