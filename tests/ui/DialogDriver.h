// Plays the operator in a modal dialog: each time the dialog is shown, the
// next step runs from inside its modal loop. A showing without a step left
// is a test failure and closes the dialog, so that no test hangs.
#pragma once

#include <QObject>
#include <deque>
#include <functional>

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
