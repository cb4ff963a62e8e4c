// The request and data entries under real key events: filters, Enter,
// leaving an entry, the input error routine.
#include <QPushButton>
#include <QTest>

#include "EntryEdit.h"
#include "Ob_TModBCl.h"
#include "UiTestApp.h"

namespace {

const QColor kWhite(255, 255, 255);
const QColor kRedColour(255, 0, 0);

class Entries : public WindowTest {
protected:
  // Focus by a real click, then the text cursor to the end.
  void Enter(TEntryEdit* entry) {
    QTest::mouseClick(entry, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), entry);
    entry->end(false);
  }
  void Erase(TEntryEdit* entry) {
    Enter(entry);
    while (!entry->text().isEmpty()) QTest::keyClick(entry, Qt::Key_Backspace);
  }
  void ExpectErrorBox(size_t index) {
    ASSERT_GT(boxes.Boxes.size(), index);
    EXPECT_EQ(boxes.Boxes[index].Text, " Ошибка ввода ");
    EXPECT_EQ(boxes.Boxes[index].Caption, "Ошибка");
    EXPECT_EQ(boxes.Boxes[index].Icon, MsgIcon::Error);
    EXPECT_EQ(boxes.Boxes[index].Buttons, MsgButtons::Ok);
  }
};

TEST_F(Entries, LetterAIsRefusedInTheRequestEntryButTakenInADataEntry) {
  TForm1& f = Form();
  QColor duringBox;
  boxes.OnShow = [&](const RecordedBox&) { duringBox = BaseColour(f.EditZapr); };
  Enter(f.EditZapr);
  QTest::keyClick(f.EditZapr, Qt::Key_A);
  ExpectErrorBox(0);
  EXPECT_EQ(duringBox, kRedColour);
  EXPECT_EQ(f.EditZapr->text(), "00");
  EXPECT_EQ(BaseColour(f.EditZapr), kWhite);
  EXPECT_EQ(QApplication::focusWidget(), f.EditZapr);

  boxes.Clear();
  Enter(f.EditDat1);
  QTest::keyClick(f.EditDat1, Qt::Key_A);
  QTest::keyClick(f.EditDat1, Qt::Key_F, Qt::ShiftModifier);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(f.EditDat1->text(), "0af");  // QTest types the lower-case letter for both
}

TEST_F(Entries, LetterGIsRefusedInTheSecondDataEntry) {
  TForm1& f = Form();
  Enter(f.EditDat2);
  QTest::keyClicks(f.EditDat2, "1b");
  QTest::keyClick(f.EditDat2, Qt::Key_G);
  ExpectErrorBox(0);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(f.EditDat2->text(), "00");
  EXPECT_EQ(BaseColour(f.EditDat2), kWhite);
}

TEST_F(Entries, EnterMovesAlongTheTabOrder) {
  TForm1& f = Form();
  Erase(f.EditZapr);
  QTest::keyClicks(f.EditZapr, "12");
  QTest::keyClick(f.EditZapr, Qt::Key_Return);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(QApplication::focusWidget(), f.Edit(1));
  EXPECT_EQ(RequestNumber, 12);  // leaving the entry stored it

  Enter(f.EditDat1);
  QTest::keyClick(f.EditDat1, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(QApplication::focusWidget(), f.EditDat2);
  QTest::keyClick(f.EditDat2, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), f.Button4);
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(Entries, EnterOnAnEmptyEntryIsAnInputErrorAndKeepsTheFocus) {
  TForm1& f = Form();
  Erase(f.EditDat1);
  QTest::keyClick(f.EditDat1, Qt::Key_Return);
  ExpectErrorBox(0);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(f.EditDat1->text(), "00");
  EXPECT_EQ(QApplication::focusWidget(), f.EditDat1);
}

TEST_F(Entries, LeavingTheRequestEntryStoresTheRequest) {
  TForm1& f = Form();
  RequestNumber = 0;
  RequestCode = 0;
  Erase(f.EditZapr);
  QTest::keyClicks(f.EditZapr, "261");
  QTest::keyClick(f.EditZapr, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.Edit(1));
  EXPECT_EQ(RequestNumber, 261);
  EXPECT_EQ(RequestCode, 5);
  EXPECT_TRUE(boxes.Boxes.empty());

  // Emptied and left: the error box, "00", and the stored request stays.
  Erase(f.EditZapr);
  QTest::mouseClick(f.EditDat1, Qt::LeftButton);
  ExpectErrorBox(0);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(f.EditZapr->text(), "00");
  EXPECT_EQ(BaseColour(f.EditZapr), kWhite);
  EXPECT_EQ(RequestNumber, 261);
  EXPECT_EQ(RequestCode, 5);
  EXPECT_EQ(QApplication::focusWidget(), f.EditDat1);  // the focus is not brought back

  // A data entry left empty gets the same routine.
  boxes.Clear();
  Erase(f.EditDat1);
  QTest::keyClick(f.EditDat1, Qt::Key_Tab);
  ExpectErrorBox(0);
  EXPECT_EQ(f.EditDat1->text(), "00");
}

TEST_F(Entries, CursorKeysAndKeypad) {
  TForm1& f = Form();
  for (TEntryEdit* entry : {f.EditZapr, f.EditDat1, f.EditDat2}) {
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End}) {
      boxes.Clear();
      Erase(entry);
      QTest::keyClicks(entry, "12");
      QTest::keyClick(entry, key);
      ExpectErrorBox(0);
      EXPECT_EQ(entry->text(), "00") << key;
    }
    boxes.Clear();
    Erase(entry);
    QTest::keyClicks(entry, "12");
    QTest::keyClick(entry, Qt::Key_Left);
    QTest::keyClick(entry, Qt::Key_Left);
    QTest::keyClick(entry, Qt::Key_Right);
    QTest::keyClick(entry, Qt::Key_3, Qt::KeypadModifier);  // between 1 and 2
    QTest::keyClick(entry, Qt::Key_Shift);
    QTest::keyClick(entry, Qt::Key_Control);
    QTest::keyClick(entry, Qt::Key_NumLock);
    QTest::keyClick(entry, Qt::Key_CapsLock);
    QTest::keyClick(entry, Qt::Key_Delete);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(entry->text(), "13");
  }
  // More refused keys: Insert, Escape, F1, minus, point, keypad minus.
  for (auto [key, modifiers] : std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
           {Qt::Key_Insert, {}}, {Qt::Key_Escape, {}}, {Qt::Key_F1, {}}, {Qt::Key_Minus, {}},
           {Qt::Key_Period, {}}, {Qt::Key_Minus, Qt::KeypadModifier}, {Qt::Key_Space, {}}}) {
    boxes.Clear();
    Enter(f.EditDat1);
    QTest::keyClick(f.EditDat1, key, modifiers);
    ExpectErrorBox(0);
    EXPECT_EQ(f.EditDat1->text(), "00");
  }
}

TEST_F(Entries, TabIsNoRefusedKey) {
  TForm1& f = Form();
  Enter(f.EditDat1);
  QTest::keyClick(f.EditDat1, Qt::Key_Tab);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(QApplication::focusWidget(), f.EditDat2);
  QTest::keyClick(f.EditDat2, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), f.EditDat1);
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(Entries, ARequestTextThatIsNoNumberGoesToTheErrorDisplayAndTheProgramGoesOn) {
  TForm1& f = Form();
  RequestNumber = 7;
  RequestCode = 7;
  Enter(f.EditZapr);
  f.EditZapr->setText("1!");  // as a paste would leave it: no key filter saw it
  QTest::keyClick(f.EditZapr, Qt::Key_Tab);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "'1!' is not a valid integer value.");
  EXPECT_EQ(boxes.Boxes[0].Icon, MsgIcon::Error);
  EXPECT_EQ(RequestNumber, 7);
  EXPECT_EQ(RequestCode, 7);

  // The window still works.
  Erase(f.EditZapr);
  QTest::keyClicks(f.EditZapr, "3");
  QTest::keyClick(f.EditZapr, Qt::Key_Return);
  EXPECT_EQ(RequestNumber, 3);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(Entries, DisplayFieldsAreUnfiltered) {
  TForm1& f = Form();
  QTest::mouseClick(f.Edit(7), Qt::LeftButton);
  f.Edit(7)->end(false);
  QTest::keyClicks(f.Edit(7), "xyz");
  QTest::keyClick(f.Edit(7), Qt::Key_Return);
  EXPECT_EQ(f.Edit(7)->text(), "0xyz");
  EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
