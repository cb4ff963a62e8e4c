// The data grid: cell read-outs under real mouse and key events, fill and clear.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GridTyping.h"
#include "Ob_TModBCl.h"
#include "StringGrid.h"
#include "UiTestApp.h"

namespace {

class Grid : public WindowTest {
protected:
  TStringGrid* grid() { return Form().StringGrid1; }
  void Click(int col, int row) { ClickCell(grid(), col, row); }
  void ExpectPattern() {
    for (int r = 1; r <= 16; ++r)
      for (int c = 0; c < 16; ++c) EXPECT_EQ(grid()->Cell(c, r), QString::number((r - 1) * 16 + c));
  }
};

TEST_F(Grid, SelectingACellShowsItsColumnAndRow) {
  TForm1& f = Form();
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("Выбрана ячейка:"));
  Click(3, 2);
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 3:2"));
  Click(0, 1);
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 0:1"));
  QTest::keyClick(grid(), Qt::Key_Right);
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 1:1"));
  QTest::keyClick(grid(), Qt::Key_Down);
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 1:2"));
  QTest::keyClick(grid(), Qt::Key_Tab);  // Tab moves between cells
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 2:2"));
  EXPECT_EQ(QApplication::focusWidget(), grid());
}

TEST_F(Grid, TheHeaderRowIsNeverSelected) {
  TForm1& f = Form();
  Click(4, 1);
  Click(4, 0);
  EXPECT_EQ(grid()->currentRow(), 1);
  EXPECT_EQ(grid()->currentColumn(), 4);
  QTest::keyClick(grid(), Qt::Key_Up);
  EXPECT_EQ(grid()->currentRow(), 1);
  EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: 4:1"));
  // Nor can the operator type into it.
  QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {},
                     grid()->visualItemRect(grid()->item(0, 4)).center());
  EXPECT_EQ(grid()->Cell(4, 0), "4");
  EXPECT_FALSE(grid()->Editing());
}

TEST_F(Grid, FillEditAndClear) {
  TForm1& f = Form();
  QTest::mouseClick(f.Button4, Qt::LeftButton);
  ExpectPattern();
  EXPECT_EQ(grid()->Cell(0, 1), "0");
  EXPECT_EQ(grid()->Cell(15, 2), "31");
  EXPECT_EQ(grid()->Cell(15, 16), "255");

  // Starting to edit the last cell shows what it holds; the editor starts with that text.
  Click(15, 16);
  QTest::keyClick(grid(), Qt::Key_F2);
  ASSERT_TRUE(grid()->Editing());
  EXPECT_EQ(f.Label10->text(), QString::fromUtf8(" в ячейке 15:16 содержится текст  255"));
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "255");
  editor->selectAll();
  QTest::keyClicks(editor, "1A");
  QTest::keyClick(editor, Qt::Key_Return);
  ProcessEvents();  // the editor commits through a queued call
  EXPECT_EQ(grid()->Cell(15, 16), "1A");

  // Typing into a selected cell opens the editor too.
  Click(3, 2);
  QTest::keyClick(grid(), Qt::Key_7);
  EXPECT_EQ(f.Label10->text(), QString::fromUtf8(" в ячейке 3:2 содержится текст  19"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ProcessEvents();
  EXPECT_EQ(grid()->Cell(3, 2), "7");

  QTest::mouseClick(f.Button4, Qt::LeftButton);
  QTest::mouseClick(f.Button4, Qt::LeftButton);
  ExpectPattern();

  const QString label9 = f.Label9->text(), label10 = f.Label10->text();
  QTest::mouseClick(f.Button5, Qt::LeftButton);
  for (int r = 1; r <= 16; ++r)
    for (int c = 0; c < 16; ++c) EXPECT_TRUE(grid()->Cell(c, r).isEmpty());
  for (int c = 0; c < 16; ++c) EXPECT_EQ(grid()->Cell(c, 0), QString::number(c));
  EXPECT_EQ(f.Label9->text(), label9);
  EXPECT_EQ(f.Label10->text(), label10);
  EXPECT_TRUE(boxes.Boxes.empty());
}

// An operator clicks a cell and types; whether the cell was already the
// current one, how soon the keys follow the click and what the cell held
// must not matter: the cell ends with exactly the keys typed.
TEST_F(Grid, TypingAfterAClickAlwaysReachesTheCell) {
  TForm1& f = Form();
  int row = 1;
  for (int pauseMs : {0, 50, 120, 250, 600}) {
    for (bool alreadyCurrent : {true, false}) {
      for (const QString& old : {QString("37"), QString()}) {
        const int col = alreadyCurrent ? 2 : 5;
        grid()->SetCell(col, row, old);
        Click(alreadyCurrent ? col : col + 1, row);  // the cell is current, or its neighbour is
        SCOPED_TRACE(::testing::Message() << "pause " << pauseMs << " ms, "
                                          << (alreadyCurrent ? "the current cell" : "another cell")
                                          << ", old text \"" << old.toStdString() << '"');
        ClickAndType(grid(), col, row, pauseMs, "AB");
        EXPECT_EQ(grid()->Cell(col, row), QString("AB"));
        EXPECT_FALSE(grid()->Editing());
        EXPECT_EQ(f.Label10->text(), QString::fromUtf8(" в ячейке %1:%2 содержится текст  %3").arg(col).arg(row).arg(old));
        EXPECT_EQ(f.Label9->text(), QString::fromUtf8("выбрана ячейка: %1:%2").arg(col).arg(row));
        ++row;
        if (row > 16) row = 1;
      }
    }
  }
  // A double click still opens the editor on what the cell holds.
  grid()->SetCell(7, 3, "5C");
  Click(7, 3);
  QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualItemRect(grid()->item(3, 7)).center());
  ASSERT_TRUE(grid()->Editing());
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "5C");
  EXPECT_EQ(f.Label10->text(), QString::fromUtf8(" в ячейке 7:3 содержится текст  5C"));
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(grid()->Cell(7, 3), "5C");
  EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
