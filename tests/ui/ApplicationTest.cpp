// The application object: an error that escapes an event handler is shown
// by its error display, and the program goes on.
#include <QEvent>
#include <QObject>
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
