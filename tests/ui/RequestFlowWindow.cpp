// "Пуск", "Цикл" and the shortcut buttons of the main window, against the
// simulated device, with real mouse clicks.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "EntryEdit.h"
#include "GridTyping.h"
#include "Ob_TModBCl.h"
#include "SimLog.h"
#include "SimWindowTest.h"
#include "StringGrid.h"
#include "UiTestApp.h"
#include "obrNastr.h"

namespace {

class RequestFlowWindow : public SimWindowTest {
protected:
  void Enter(const char* zapr, const char* dat1, const char* dat2) {
    Form().EditZapr->SetText(zapr);
    Form().EditDat1->SetText(dat1);
    Form().EditDat2->SetText(dat2);
  }
  size_t Requests() const { return ReceivedHex(sim.Log()).size(); }
  std::string LastRequest() const {
    const auto received = ReceivedHex(sim.Log());
    return received.empty() ? std::string() : received.back();
  }
  QString FieldText(int n) { return Form().Edit(n)->text(); }
};

TEST_F(RequestFlowWindow, PuskSendsTheRequestAndShowsTheAnswer) {
  Enter("3", "0", "10");
  QTest::mouseClick(Form().Button1, Qt::LeftButton);
  EXPECT_EQ(LastRequest(), "01 03 00 00 00 0A C5 CD");
  EXPECT_EQ(FieldText(1), "1");
  EXPECT_EQ(FieldText(2), "3");
  EXPECT_EQ(FieldText(3), "20");
  EXPECT_EQ(Form().StringGrid1->Cell(0, 1), FieldText(4));
  EXPECT_EQ(Form().StringGrid1->Cell(0, 14), "");
  EXPECT_EQ(Form().StringGrid1->Cell(15, 13), "00");
  EXPECT_TRUE(boxes.Boxes.empty());

  // A device that does not answer: the box names it and the port.
  Form().CBoxUstr->setCurrentIndex(6);
  Form().CBoxUstrClick();
  Form().Link.SetRepeats1(1);
  QTest::mouseClick(Form().Button1, Qt::LeftButton);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "устройство 7 " + Form().Link.PortName + " не отвечает на запрос");
  EXPECT_EQ(Form().StringGrid1->Cell(15, 13), "00") << "no answer leaves the grid alone";
}

TEST_F(RequestFlowWindow, CyclicPollingRepeatsUntilAFailureWithoutABox) {
  TForm1& f = Form();
  Enter("3", "0", "2");
  QTest::mouseClick(f.Button3, Qt::LeftButton);
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 3000) << "the exchange settings' default";
  EXPECT_FALSE(f.LabelCikl->isHidden());
  QTest::mouseClick(f.Button3, Qt::LeftButton);
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_TRUE(f.LabelCikl->isHidden());
  EXPECT_EQ(Requests(), 0u) << "starting and stopping sends nothing";

  FormNastr->Interval_T->setCurrentIndex(0);  // 500 ms
  QTest::mouseClick(f.Button3, Qt::LeftButton);
  EXPECT_EQ(f.Timer1->interval(), 500);
  ProcessEvents(300);
  EXPECT_EQ(Requests(), 0u) << "the first request goes out one interval after the press";
  ProcessEvents(1000);
  EXPECT_GE(Requests(), 2u);
  EXPECT_LE(Requests(), 3u);

  // "Пуск" during polling: one more request at once, polling goes on.
  const size_t before = Requests();
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  EXPECT_EQ(Requests(), before + 1);
  EXPECT_TRUE(f.Timer1->isActive());

  // The device goes quiet: polling ends at the first failure, with no box.
  f.CBoxUstr->setCurrentIndex(6);
  f.CBoxUstrClick();
  f.Link.SetRepeats1(1);
  QElapsedTimer waited;
  waited.start();
  while (f.Timer1->isActive() && waited.elapsed() < 3000) ProcessEvents(50);
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_TRUE(f.LabelCikl->isHidden());
  EXPECT_TRUE(boxes.Boxes.empty());

  // Polled by "Пуск" alone, the same failure is reported.
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(RequestFlowWindow, AnEntryErrorDuringPollingEndsItWithOneErrorBox) {
  TForm1& f = Form();
  Enter("3", "0", "2");
  FormNastr->Interval_T->setCurrentIndex(0);  // 500 ms
  QTest::mouseClick(f.Button3, Qt::LeftButton);
  f.EditDat1->SetText("A");  // a hex letter, which code 3 cannot read as a number
  ProcessEvents(1300);
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_TRUE(f.LabelCikl->isHidden());
  EXPECT_EQ(boxes.Boxes.size(), 1u) << "one error box, not one per tick";
  EXPECT_EQ(Requests(), 0u);
}

TEST_F(RequestFlowWindow, ShortcutButtonsSendRequestFive) {
  Enter("3", "1A", "1");
  Form().BKvitClick(Form().BSbros);
  EXPECT_EQ(Form().EditZapr->text(), "5");
  EXPECT_EQ(LastRequest().substr(0, 17), "01 05 00 1A FF 00");
  Form().EditDat2->SetText("0");
  Form().SPBlocClick();
  EXPECT_EQ(LastRequest().substr(0, 17), "01 05 00 1A 00 00");
  EXPECT_EQ(RequestCode, 5);
  EXPECT_EQ(Requests(), 2u);
}

// What the operator types into the grid is what a block request sends,
// however soon the keys follow a click on the cell that is already current.
TEST_F(RequestFlowWindow, CellsTypedAfterAClickGoOutInTheBlock) {
  TForm1& f = Form();
  QTest::mouseClick(f.Button4, Qt::LeftButton);  // cells "0" to "255"
  const int pauses[] = {0, 50, 120, 250, 600};
  for (int col = 0; col < 5; ++col) {
    ClickCell(f.StringGrid1, col, 1);
    ClickAndType(f.StringGrid1, col, 1, pauses[col], "AB");
  }
  Enter("100", "6", "0");
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  EXPECT_EQ(LastRequest().substr(0, 29), "01 64 00 06 AB AB AB AB AB 05");
  EXPECT_TRUE(boxes.Boxes.empty());
}

// A database read that fails leaves nothing "Пуск" may write back with 69:
// not the bytes of the failed answer, nor the database read before it.
TEST_F(RequestFlowWindow, AFailedDatabaseReadCannotBeWrittenBack) {
  TForm1& f = Form();
  SimOptions options;
  options.busy.polls = 0;
  const Fault cut{FaultKind::Partial, 10};
  options.script = {ScriptStep{}, ScriptStep{{cut}, std::nullopt}, ScriptStep{{cut}, std::nullopt}};
  RunningSim& device = ReopenOn(options);
  f.Link.SetRepeats1(2);
  f.Link.SetRepeats2(2);
  boxes.Answers.assign(4, MsgResult::Yes);
  auto writes = [&device] {
    size_t n = 0;
    for (const std::string& frame : ReceivedHex(device.Log())) n += frame.rfind("01 45", 0) == 0;
    return n;
  };

  Enter("68", "5", "0");
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  ASSERT_EQ(f.Edit(2)->text(), "68");
  ASSERT_TRUE(boxes.Boxes.empty());
  QTest::mouseClick(f.Button1, Qt::LeftButton);  // cut short twice: 129
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(f.StringGrid1->Cell(0, 1), "05") << "the failed answer is shown as it came";

  Enter("69", "5", "0");
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  Enter("69", "0", "0");
  QTest::mouseClick(f.Button1, Qt::LeftButton);
  EXPECT_EQ(writes(), 0u);
  ASSERT_EQ(boxes.Boxes.size(), 3u);
  EXPECT_EQ(boxes.Boxes[1].Text, "не та база - запросите 68");
  EXPECT_EQ(boxes.Boxes[2].Text, "не та база - запросите 68");
}

}  // namespace
