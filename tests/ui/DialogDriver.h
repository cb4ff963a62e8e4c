// Plays the operator in a modal dialog: each time the dialog is shown, the
// next step runs from inside its modal loop. A showing without a step left
// is a test failure and closes the dialog, so that no test hangs.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <memory>

#include "UiTestApp.h"

class QComboBox;
class QDialog;

class DialogDriver : public QObject {
  Q_OBJECT
public:
  explicit DialogDriver(QDialog* dialog);
  ~DialogDriver() override;

  std::deque<std::function<void()>> Steps;
  int Shown = 0;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QDialog* dialog_;
};

// The program's windows with a driver on one of its dialogs.
class DialogTest : public WindowTest {
protected:
  // The dialog to drive, once the windows exist.
  virtual QDialog* Dialog() = 0;
  void SetUp() override;
  void TearDown() override;
  // A choice by real keys: focus the list, Home, then Down `index` times.
  static void Choose(QComboBox* list, int index);

  std::unique_ptr<DialogDriver> driver;
};
