// The program's own message boxes: QMessageBox with the exact text, caption,
// icon and buttons, modal to the application, its buttons labelled in
// Russian, and the button pressed by a real key or click.
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <stdexcept>

#include "QtMessageBoxes.h"
#include "UiTestApp.h"

namespace {

struct Seen {
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::map<QMessageBox::StandardButton, QString> buttons;  // what each button reads
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  Qt::WindowModality modality = Qt::NonModal;
  bool hasParent = true;
};

using Press = std::function<void(QMessageBox*)>;

Press Key(Qt::Key key) {
  return [key](QMessageBox* box) { QTest::keyClick(box, key); };
}
// A click on the button that reads `text`.
Press Click(const char* text) {
  return [text](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QString::fromUtf8(text)) return QTest::mouseClick(b, Qt::LeftButton);
    ADD_FAILURE() << "no button reads " << text;
    box->close();
  };
}
Press CloseButton() {
  return [](QMessageBox* box) { box->close(); };
}

// Once the next box is on screen, notes what it shows and presses `press` in it.
void WhenShown(Seen& seen, Press press) {
  QTimer::singleShot(0, [&seen, press] {
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    if (!box) {
      ADD_FAILURE() << "no message box";
      return;
    }
    seen.text = box->text();
    seen.caption = box->windowTitle();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons[box->standardButton(b)] = b->text();
    seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    seen.modality = box->windowModality();
    seen.hasParent = box->parentWidget() != nullptr;
    press(box);
  });
}

MsgResult Show(const char* text, const char* caption, MsgIcon icon, MsgButtons buttons, Press press,
               Seen& seen) {
  UiTestApp();
  WhenShown(seen, std::move(press));
  QtMessageBoxes boxes;
  return boxes.ShowMessage(text, caption, icon, buttons);
}

using Labels = std::map<QMessageBox::StandardButton, QString>;

TEST(MessageBoxes, ShowExactlyWhatTheyAreGivenAndReturnTheButtonPressed) {
  // The port dialog's refused choice: Enter takes the default, Повтор.
  Seen seen;
  EXPECT_EQ(Show("Ошибочные данные ", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel, Key(Qt::Key_Return), seen),
            MsgResult::Retry);
  EXPECT_EQ(seen.text, QString::fromUtf8("Ошибочные данные "));
  EXPECT_EQ(seen.caption, QString::fromUtf8("Ошибка"));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, (Labels{{QMessageBox::Retry, QString::fromUtf8("Повтор")},
                                  {QMessageBox::Cancel, QString::fromUtf8("Отмена")}}));
  EXPECT_EQ(seen.defaultButton, QMessageBox::Retry);
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  EXPECT_FALSE(seen.hasParent);

  Seen cancel;
  EXPECT_EQ(Show("x", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel, Click("Отмена"), cancel),
            MsgResult::Cancel);
  Seen escape;
  EXPECT_EQ(Show("x", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel, Key(Qt::Key_Escape), escape),
            MsgResult::Cancel);
  Seen retry;
  EXPECT_EQ(Show("x", "Ошибка", MsgIcon::Error, MsgButtons::RetryCancel, Click("Повтор"), retry), MsgResult::Retry);

  Seen warning;
  EXPECT_EQ(Show(" Ошибка ввода ", "Предупреждение", MsgIcon::Warning, MsgButtons::Ok, Key(Qt::Key_Return), warning),
            MsgResult::Ok);
  EXPECT_EQ(warning.text, QString::fromUtf8(" Ошибка ввода "));
  EXPECT_EQ(warning.icon, QMessageBox::Warning);
  EXPECT_EQ(warning.buttons, (Labels{{QMessageBox::Ok, "OK"}}));

  // The confirmation before writing another module's database.
  Seen question;
  EXPECT_EQ(Show("В памяти база модуля 3\nзаписать ее в заданный модуль?", "Подтвердите запись базы данных",
                 MsgIcon::Question, MsgButtons::YesNo, Click("Да"), question),
            MsgResult::Yes);
  EXPECT_EQ(question.icon, QMessageBox::Question);
  EXPECT_EQ(question.buttons, (Labels{{QMessageBox::Yes, QString::fromUtf8("Да")},
                                      {QMessageBox::No, QString::fromUtf8("Нет")}}));
  EXPECT_EQ(question.defaultButton, QMessageBox::No);
  Seen enter;
  EXPECT_EQ(Show("?", "c", MsgIcon::Question, MsgButtons::YesNo, Key(Qt::Key_Return), enter), MsgResult::No)
      << "Enter alone never confirms";
  Seen no;
  EXPECT_EQ(Show("?", "c", MsgIcon::Question, MsgButtons::YesNo, Click("Нет"), no), MsgResult::No);
  Seen escapeNo;
  EXPECT_EQ(Show("?", "c", MsgIcon::Question, MsgButtons::YesNo, Key(Qt::Key_Escape), escapeNo), MsgResult::No);

  Seen closed;
  EXPECT_EQ(Show("?", "c", MsgIcon::Information, MsgButtons::YesNo, CloseButton(), closed), MsgResult::No);
  EXPECT_EQ(closed.icon, QMessageBox::Information);
}

TEST(MessageBoxes, TheApplicationsErrorDisplayHasAnOkButton) {
  QtMessageBoxes boxes;
  UiTestApp().SetErrorDisplay(&boxes);
  Seen seen;
  WhenShown(seen, Key(Qt::Key_Return));
  UiTestApp().ShowException(std::runtime_error("'x' is not a valid integer value"));
  UiTestApp().SetErrorDisplay(nullptr);
  EXPECT_EQ(seen.text, "'x' is not a valid integer value.");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, (Labels{{QMessageBox::Ok, "OK"}}));
}

}  // namespace
