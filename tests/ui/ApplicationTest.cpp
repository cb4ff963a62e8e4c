// The application object: an error that escapes an event handler is shown
// by its error display, and the program goes on.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QObject>
#include <memory>
#include <stdexcept>

#include "HandlerGuard.h"
#include "UiTestApp.h"

namespace {

class Thrower : public QObject {
public:
  int handled = 0;
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    ++handled;
    throw std::runtime_error("'x' is not a valid integer value");
  }
};

TEST(Application, AnErrorEscapingAnEventHandlerIsShownAndTheProgramGoesOn) {
  RecordingOperator boxes;
  UiTestApp().SetErrorDisplay(&boxes);
  Thrower thrower;
  QEvent event(QEvent::User);
  EXPECT_TRUE(QCoreApplication::sendEvent(&thrower, &event));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  ProcessEvents();
  EXPECT_EQ(thrower.handled, 2);
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[0].Text, "'x' is not a valid integer value.");  // with its full stop
  EXPECT_EQ(boxes.Boxes[0].Caption, "modbus-tester");
  EXPECT_EQ(boxes.Boxes[0].Icon, MsgIcon::Error);
  EXPECT_EQ(boxes.Boxes[0].Buttons, MsgButtons::Ok);

  // Guarded handlers report the same way, and a text with its stop keeps it.
  Guarded([] { throw std::runtime_error("Unable to open com port."); });
  ASSERT_EQ(boxes.Boxes.size(), 3u);
  EXPECT_EQ(boxes.Boxes[2].Text, "Unable to open com port.");
  EXPECT_EQ(Guarded([]() -> int { throw std::runtime_error("e"); }, -1), -1);
  EXPECT_EQ(Guarded([] { return 5; }, -1), 5);
  UiTestApp().SetErrorDisplay(nullptr);
}

}  // namespace

namespace {
bool Cyrillic(const QString& text) {
  for (const QChar c : text)
    if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) return true;
  return false;
}
}  // namespace

// Qt's own texts speak Russian too: the file dialog of "Сохранить CSV…" and
// the context menu of every edit field.
TEST(Application, QtsOwnTextsAreRussian) {
  UiTestApp();
  QFileDialog dialog(nullptr, QString::fromUtf8("Сохранить CSV"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
    const auto* label = dialog.findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_TRUE(Cyrillic(label->text())) << name << ": " << label->text().toStdString();
  }
  const auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(buttons, nullptr);
  for (const QAbstractButton* button : buttons->buttons())
    EXPECT_TRUE(Cyrillic(button->text())) << button->text().toStdString();

  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  int texts = 0;
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    ++texts;
    EXPECT_TRUE(Cyrillic(action->text())) << action->text().toStdString();
  }
  EXPECT_GT(texts, 4);
}
