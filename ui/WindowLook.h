// The colours and fonts the windows are drawn with, under the names their
// layout tables use.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

inline const QColor kTeal(0, 128, 128);
inline const QColor kRed(255, 0, 0);

// "MS Sans Serif" at `points`; where the family is missing Qt falls back to
// a close sans-serif face.
QFont WindowFont(double points, bool bold = false);

void SetTextColour(QWidget* widget, const QColor& colour);
void SetBaseColour(QWidget* widget, const QColor& colour);
