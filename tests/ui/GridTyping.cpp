#include "GridTyping.h"

#include <QApplication>
#include <QStyleHints>
#include <QTest>

#include "StringGrid.h"
#include "UiTestApp.h"

void ClickCell(TStringGrid* grid, int col, int row) {
  const QRect cell = grid->visualItemRect(grid->item(row, col));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void ClickAndType(TStringGrid* grid, int col, int row, int pauseMs, const QString& keys) {
  ClickCell(grid, col, row);
  ProcessEvents(pauseMs);
  for (QChar key : keys) QTest::keyClicks(QApplication::focusWidget(), QString(key));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ProcessEvents(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
}
