#include "obrNastr.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ComPortClass.h"
#include "DialogLook.h"
#include "HandlerGuard.h"
#include "UpDown.h"

TFormNastr* FormNastr = nullptr;

namespace {
QLineEdit* DelayEdit(QWidget* parent, int left, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  edit->setGeometry(left, top, 41, 21);
  return edit;
}

// A delay unit is a fixed 0.1 ms busy wait of the link, on every machine.
const char* const kDelayUnitHint = "в единицах 0,1 мс";

TUpDown* DelaySpinner(QWidget* parent, QLineEdit* edit, int left, int top) {
  auto* spinner = new TUpDown(parent);
  spinner->SetRange(1, 100);
  spinner->SetAssociate(edit);
  spinner->setGeometry(left, top, 15, 21);
  edit->setToolTip(QString::fromUtf8(kDelayUnitHint));
  spinner->setToolTip(edit->toolTip());
  return spinner;
}
}  // namespace

TFormNastr::TFormNastr(TComPortClass& link, QWidget* parent) : QDialog(parent), link_(link) {
  SetUpDialog(this, "Настройка обмена", 318, 254);

  Label3 = DialogLabel(this, "интервал работы таймера цикла (мс)", 40, 12, 145, 32, true);
  Interval_T = DialogList(this, {"500", "1000", "1500", "2000", "2500", "3000"}, 209, 16, 66, 24);
  Label1 = DialogLabel(this, "повторы на 1 этапе", 40, 64, 118, 13);
  CBoxPovt1 = DialogList(this, {"1", "5"}, 217, 59, 58, 24);
  Label11 = DialogLabel(this, "повторы на 2-м этапе", 40, 104, 131, 13);
  CBoxPovt2 = DialogList(this, {"1", "10"}, 217, 104, 58, 24);
  Label5 = DialogLabel(this, "задержка после переключ  на передачу", 40, 137, 145, 32, true);
  Edit1 = DelayEdit(this, 219, 144);
  UpDown1 = DelaySpinner(this, Edit1, 260, 144);
  Label2 = DialogLabel(this, "задержка перед переключ на прием", 40, 177, 145, 32, true);
  Edit2 = DelayEdit(this, 219, 184);
  UpDown2 = DelaySpinner(this, Edit2, 260, 184);

  OK = new QPushButton("OK", this);
  OK->setGeometry(127, 224, 65, 25);
  OK->setAutoDefault(false);

  QWidget* order[] = {OK, Interval_T, CBoxPovt1, CBoxPovt2, Edit1, Edit2, UpDown1, UpDown2};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(OK, &QPushButton::clicked, this, [this] {
    setResult(mrOk);
    Guarded([this] { OKClick(); });
    done(result());
  });
  FormCreate();
}

void TFormNastr::FormCreate() {
  IntervalItem = 5;
  Repeats1Item = 1;
  Repeats2Item = 1;
  Delay1 = link_.GetTxDelay();
  Delay2 = link_.GetRxDelay();
  ShowRemembered();
}

void TFormNastr::ShowRemembered() {
  Interval_T->setCurrentIndex(IntervalItem);
  CBoxPovt1->setCurrentIndex(Repeats1Item);
  CBoxPovt2->setCurrentIndex(Repeats2Item);
  UpDown1->SetPosition(static_cast<int16_t>(Delay1));
  UpDown2->SetPosition(static_cast<int16_t>(Delay2));
}

void TFormNastr::OKClick() {
  IntervalItem = Interval_T->currentIndex();
  Repeats1Item = CBoxPovt1->currentIndex();
  Repeats2Item = CBoxPovt2->currentIndex();
  Delay1 = UpDown1->Position();
  Delay2 = UpDown2->Position();
}

void TFormNastr::FormClose() {
  if (result() == mrCancel) ShowRemembered();
}

void TFormNastr::done(int result) {
  if (result == QDialog::Rejected) result = mrCancel;  // the close button
  setResult(result);
  Guarded([this] { FormClose(); });
  QDialog::done(result);
}

void TFormNastr::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) OK->setFocus();  // the first control in tab order
  QDialog::showEvent(event);
}

void TFormNastr::keyPressEvent(QKeyEvent* event) {
  // No button of this dialog is its cancel button: Escape does nothing.
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}
