#include "DialogDriver.h"

#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <QDialog>
#include <QEvent>
#include <QTest>
#include <QTimer>

DialogDriver::DialogDriver(QDialog* dialog) : dialog_(dialog) { dialog_->installEventFilter(this); }

DialogDriver::~DialogDriver() { dialog_->removeEventFilter(this); }

bool DialogDriver::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dialog_ && event->type() == QEvent::Show) {
    ++Shown;
    std::function<void()> step;
    if (!Steps.empty()) {
      step = std::move(Steps.front());
      Steps.pop_front();
    } else {
      ADD_FAILURE() << "dialog shown with no step left";
      step = [this] { dialog_->close(); };
    }
    QTimer::singleShot(0, dialog_, [this, step] {
      EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_));
      step();
    });
  }
  return QObject::eventFilter(watched, event);
}

void DialogTest::SetUp() {
  WindowTest::SetUp();
  driver = std::make_unique<DialogDriver>(Dialog());
}

void DialogTest::TearDown() {
  driver.reset();
  WindowTest::TearDown();
}

void DialogTest::Choose(QComboBox* list, int index) {
  list->setFocus(Qt::TabFocusReason);
  QTest::keyClick(list, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
  ASSERT_EQ(list->currentIndex(), index);
}
