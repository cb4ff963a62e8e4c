// The program's own message boxes: QMessageBox with the exact text, caption,
// icon and buttons, modal to the application, and the button pressed.
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "QtMessageBoxes.h"
#include "UiTestApp.h"

namespace {

struct Seen {
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QList<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  Qt::WindowModality modality = Qt::NonModal;
  bool hasParent = true;
};

// Shows one box and presses `press` in it (NoButton: closes it by its close button).
MsgResult ShowAndPress(const char* text, const char* caption, MsgIcon icon, MsgButtons buttons,
                       QMessageBox::StandardButton press, Seen& seen) {
  UiTestApp();
  QTimer::singleShot(0, [&seen, press] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      ADD_FAILURE() << "no message box";
      return;
    }
    seen.text = box->text();
    seen.caption = box->windowTitle();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons.push_back(box->standardButton(b));
    std::sort(seen.buttons.begin(), seen.buttons.end());
    seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    seen.modality = box->windowModality();
    seen.hasParent = box->parentWidget() != nullptr;
    if (press == QMessageBox::NoButton) {
      box->close();
    } else {
      QTest::mouseClick(box->button(press), Qt::LeftButton);
    }
  });
  QtMessageBoxes boxes;
  return boxes.ShowMessage(text, caption, icon, buttons);
}

TEST(MessageBoxes, ShowExactlyWhatTheyAreGivenAndReturnTheButtonPressed) {
  Seen seen;
  EXPECT_EQ(ShowAndPress("Ошибочные данные ", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel,
                         QMessageBox::Retry, seen),
            MsgResult::Retry);
  EXPECT_EQ(seen.text, QString::fromUtf8("Ошибочные данные "));
  EXPECT_EQ(seen.caption, QString::fromUtf8("Ошибка"));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Retry, QMessageBox::Cancel}));
  EXPECT_EQ(seen.defaultButton, QMessageBox::Retry);
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  EXPECT_FALSE(seen.hasParent);

  Seen cancel;
  EXPECT_EQ(ShowAndPress("x", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel, QMessageBox::Cancel, cancel),
            MsgResult::Cancel);

  Seen warning;
  EXPECT_EQ(ShowAndPress(" Ошибка ввода ", "Предупреждение", MsgIcon::Warning, MsgButtons::Ok, QMessageBox::Ok,
                         warning),
            MsgResult::Ok);
  EXPECT_EQ(warning.text, QString::fromUtf8(" Ошибка ввода "));
  EXPECT_EQ(warning.icon, QMessageBox::Warning);
  EXPECT_EQ(warning.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Ok}));

  Seen question;
  EXPECT_EQ(ShowAndPress("?", "Предупреждение", MsgIcon::Question, MsgButtons::YesNo, QMessageBox::Yes, question),
            MsgResult::Yes);
  EXPECT_EQ(question.icon, QMessageBox::Question);
  EXPECT_EQ(question.defaultButton, QMessageBox::No);  // Enter alone never confirms

  Seen closed;
  EXPECT_EQ(ShowAndPress("?", "c", MsgIcon::Information, MsgButtons::YesNo, QMessageBox::NoButton, closed),
            MsgResult::No);
  EXPECT_EQ(closed.icon, QMessageBox::Information);
}

}  // namespace
