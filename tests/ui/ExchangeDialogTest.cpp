// The exchange settings dialog: defaults from the link, spinner limits,
// cancel keeps the last accepted values, OK passes them to the link.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "DialogDriver.h"
#include "Ob_TModBCl.h"
#include "UiTestApp.h"
#include "UpDown.h"
#include "obrNastr.h"

namespace {

class ExchangeDialog : public DialogTest {
protected:
  QDialog* Dialog() override { return FormNastr; }
  static void Click(QToolButton* arrow, int times) {
    for (int i = 0; i < times; ++i) QTest::mouseClick(arrow, Qt::LeftButton);
  }
  static void ExpectShown(const char* interval, const char* repeats1, const char* repeats2,
                          const char* delay1, const char* delay2) {
    EXPECT_EQ(FormNastr->Interval_T->currentText(), interval);
    EXPECT_EQ(FormNastr->CBoxPovt1->currentText(), repeats1);
    EXPECT_EQ(FormNastr->CBoxPovt2->currentText(), repeats2);
    EXPECT_EQ(FormNastr->Edit1->text(), delay1);
    EXPECT_EQ(FormNastr->Edit2->text(), delay2);
  }
  void ExpectLink(int repeats1, int repeats2, int tx, int rx) {
    EXPECT_EQ(Form().Link.Repeats1, repeats1);
    EXPECT_EQ(Form().Link.Repeats2, repeats2);
    EXPECT_EQ(Form().Link.TxDelay, tx);
    EXPECT_EQ(Form().Link.RxDelay, rx);
  }
  void Run() { QTest::mouseClick(Form().Button6, Qt::LeftButton); }

};

TEST_F(ExchangeDialog, Layout) {
  TFormNastr& d = *FormNastr;
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Настройка обмена"));
  EXPECT_EQ(d.size(), QSize(318, 254));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  EXPECT_EQ(d.Label3->text(), QString::fromUtf8("интервал работы таймера цикла (мс)"));
  EXPECT_EQ(d.Label1->text(), QString::fromUtf8("повторы на 1 этапе"));
  EXPECT_EQ(d.Label11->text(), QString::fromUtf8("повторы на 2-м этапе"));
  EXPECT_EQ(d.Label5->text(), QString::fromUtf8("задержка после переключ  на передачу"));
  EXPECT_EQ(d.Label2->text(), QString::fromUtf8("задержка перед переключ на прием"));
  EXPECT_EQ(d.Label3->geometry(), QRect(40, 12, 145, 32));
  EXPECT_TRUE(d.Label3->wordWrap());
  EXPECT_EQ(d.Interval_T->geometry(), QRect(209, 16, 66, 24));
  EXPECT_EQ(d.CBoxPovt1->geometry(), QRect(217, 59, 58, 24));
  EXPECT_EQ(d.CBoxPovt2->geometry(), QRect(217, 104, 58, 24));
  EXPECT_EQ(d.Edit1->geometry(), QRect(219, 144, 41, 21));
  EXPECT_EQ(d.UpDown1->geometry(), QRect(260, 144, 15, 21));
  EXPECT_EQ(d.Edit2->geometry(), QRect(219, 184, 41, 21));
  EXPECT_EQ(d.UpDown2->geometry(), QRect(260, 184, 15, 21));
  EXPECT_EQ(d.OK->geometry(), QRect(127, 224, 65, 25));
  EXPECT_TRUE(d.Edit1->isReadOnly());
  EXPECT_TRUE(d.Edit2->isReadOnly());
  for (QWidget* delay : {static_cast<QWidget*>(d.Edit1), static_cast<QWidget*>(d.UpDown2)})
    EXPECT_EQ(delay->toolTip(), QString::fromUtf8("в единицах 0,1 мс")) << "the delay unit is shown";
  const QStringList intervals = {"500", "1000", "1500", "2000", "2500", "3000"};
  ASSERT_EQ(d.Interval_T->count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(d.Interval_T->itemText(i), intervals[i]);
  EXPECT_EQ(d.CBoxPovt1->itemText(0), "1");
  EXPECT_EQ(d.CBoxPovt1->itemText(1), "5");
  EXPECT_EQ(d.CBoxPovt2->itemText(0), "1");
  EXPECT_EQ(d.CBoxPovt2->itemText(1), "10");
  QWidget* order[] = {d.OK, d.Interval_T, d.CBoxPovt1, d.CBoxPovt2, d.Edit1, d.Edit2, d.UpDown1, d.UpDown2};
  for (size_t i = 0; i < std::size(order); ++i)
    EXPECT_EQ(NextTabStop(order[i]), order[(i + 1) % std::size(order)]) << i;
}

TEST_F(ExchangeDialog, StartsFromTheLinkAndOKPassesTheValuesOn) {
  driver->Steps.push_back([] {
    ExpectShown("3000", "5", "10", "25", "20");
    EXPECT_EQ(QApplication::focusWidget(), FormNastr->OK);
    QTest::mouseClick(FormNastr->OK, Qt::LeftButton);  // accepting without changes
  });
  Run();
  ExpectLink(5, 10, 25, 20);

  driver->Steps.push_back([this] {
    Choose(FormNastr->Interval_T, 0);
    Choose(FormNastr->CBoxPovt1, 0);
    Choose(FormNastr->CBoxPovt2, 0);
    Click(FormNastr->UpDown1->UpButton(), 3);
    Click(FormNastr->UpDown2->DownButton(), 5);
    ExpectShown("500", "1", "1", "28", "15");
    QTest::mouseClick(FormNastr->OK, Qt::LeftButton);
  });
  Run();
  ExpectLink(1, 1, 28, 15);
  EXPECT_EQ(FormNastr->Interval_T->currentText(), "500");
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(ExchangeDialog, SpinnersStopAt1And100) {
  driver->Steps.push_back([this] {
    Click(FormNastr->UpDown1->DownButton(), 40);
    EXPECT_EQ(FormNastr->Edit1->text(), "1");
    EXPECT_EQ(FormNastr->UpDown1->Position(), 1);
    Click(FormNastr->UpDown2->UpButton(), 120);
    EXPECT_EQ(FormNastr->Edit2->text(), "100");
    // The arrow keys of the edit box and of the spinner step it too, within the range.
    FormNastr->Edit1->setFocus();
    QTest::keyClick(FormNastr->Edit1, Qt::Key_Down);
    EXPECT_EQ(FormNastr->Edit1->text(), "1");
    QTest::keyClick(FormNastr->Edit1, Qt::Key_Up);
    EXPECT_EQ(FormNastr->Edit1->text(), "2");
    FormNastr->UpDown2->setFocus();
    QTest::keyClick(FormNastr->UpDown2, Qt::Key_Up);
    EXPECT_EQ(FormNastr->Edit2->text(), "100");
    QTest::keyClick(FormNastr->UpDown2, Qt::Key_Down);
    EXPECT_EQ(FormNastr->Edit2->text(), "99");
    // Typing does nothing: the boxes are read-only.
    QTest::keyClicks(FormNastr->Edit1, "7");
    EXPECT_EQ(FormNastr->Edit1->text(), "2");
    QTest::mouseClick(FormNastr->OK, Qt::LeftButton);
  });
  Run();
  ExpectLink(5, 10, 2, 99);
}

TEST_F(ExchangeDialog, CancelKeepsTheLastAcceptedValues) {
  driver->Steps.push_back([this] {
    Choose(FormNastr->CBoxPovt1, 0);
    Choose(FormNastr->Interval_T, 2);
    Click(FormNastr->UpDown1->UpButton(), 2);
    FormNastr->close();  // the close button
  });
  driver->Steps.push_back([] {
    ExpectShown("3000", "5", "10", "25", "20");
    QTest::keyClick(FormNastr, Qt::Key_Escape);  // no cancel button: Escape does nothing
    EXPECT_TRUE(FormNastr->isVisible());
    Choose(FormNastr->CBoxPovt2, 0);
    QTest::mouseClick(FormNastr->OK, Qt::LeftButton);
  });
  driver->Steps.push_back([this] {
    ExpectShown("3000", "5", "1", "25", "20");
    Click(FormNastr->UpDown2->DownButton(), 10);
    Choose(FormNastr->CBoxPovt1, 0);
    FormNastr->close();
  });
  Run();
  ExpectLink(5, 10, 25, 20);
  EXPECT_EQ(FormNastr->Interval_T->currentText(), "3000");  // what polling would read
  Run();
  ExpectLink(5, 1, 25, 20);
  Run();
  ExpectLink(5, 1, 25, 20);
  EXPECT_EQ(driver->Shown, 3);
  ExpectShown("3000", "5", "1", "25", "20");
}

}  // namespace
