// TFormNastr, the exchange settings dialog: the polling interval, the repeat
// counts of the two stages of a transaction and the two line-turnaround
// delays. Cancelling restores the last accepted values.
#pragma once

#include <QDialog>
#include <cstdint>

#include "DialogResult.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TComPortClass;
class TUpDown;

class TFormNastr : public QDialog {
  Q_OBJECT
public:
  static constexpr int mrOk = ::mrOk;
  static constexpr int mrCancel = ::mrCancel;

  explicit TFormNastr(TComPortClass& link, QWidget* parent = nullptr);

  QLabel* Label3;
  QComboBox* Interval_T;  // its text is the polling interval in milliseconds
  QLabel* Label1;
  QComboBox* CBoxPovt1;
  QLabel* Label11;
  QComboBox* CBoxPovt2;
  QLabel* Label5;
  QLineEdit* Edit1;
  TUpDown* UpDown1;
  QLabel* Label2;
  QLineEdit* Edit2;
  TUpDown* UpDown2;
  QPushButton* OK;

  // The last accepted values.
  int32_t IntervalItem = 5;
  int32_t Repeats1Item = 1;
  int32_t Repeats2Item = 1;
  int32_t Delay1 = 0;
  int32_t Delay2 = 0;

  void FormCreate();
  void OKClick();
  void FormClose();

  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void ShowRemembered();

  TComPortClass& link_;
};

extern TFormNastr* FormNastr;
