#include "UiTestApp.h"

#include <QElapsedTimer>
#include <QTest>

#include "AppWindows.h"
#include "Ob_TModBCl.h"

// fontconfig keeps its configuration until the process ends (Qt never calls
// FcFini); that is no leak of ours. Read by LeakSanitizer in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

TApplication& UiTestApp() {
  static TApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ui-test";
    static char* argv[] = {name, nullptr};
    return new TApplication(argc, argv);
  }();
  return *app;
}

void ProcessEvents(int ms) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (timer.elapsed() < ms);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

QColor BaseColour(const QWidget* widget) { return widget->palette().color(QPalette::Base); }

QWidget* NextTabStop(QWidget* from) {
  for (QWidget* w = from->nextInFocusChain(); w != from; w = w->nextInFocusChain()) {
    if (w->parentWidget() == from->parentWidget() && (w->focusPolicy() & Qt::TabFocus) &&
        w->isVisibleTo(w->window()) && w->isEnabled())
      return w;
  }
  return from;
}

void WindowTest::SetUp() {
  UiTestApp().SetErrorDisplay(&boxes);
  CreateAppWindows(boxes);
  Form1->show();
  Form1->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
}

void WindowTest::TearDown() {
  DestroyAppWindows();
  UiTestApp().SetErrorDisplay(nullptr);
  ProcessEvents();
}

TForm1& WindowTest::Form() { return *Form1; }
