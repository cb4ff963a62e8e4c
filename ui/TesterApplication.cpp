#include "TesterApplication.h"

#include <cstdio>
#include <string>

#include "HandlerGuard.h"
#include "OperatorInterface.h"
#include "QtTranslations.h"
#include "ThreadSync.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("modbus-tester");
  LoadQtRussian(*this);
  // The serial event thread hands its events over to this thread: run them
  // from the message loop as soon as one is queued.
  ThreadSync::SetSynchronizeWakeup([this] {
    QMetaObject::invokeMethod(this, [] { Guarded([] { ThreadSync::CheckSynchronize(); }); },
                              Qt::QueuedConnection);
  });
}

TApplication::~TApplication() { ThreadSync::SetSynchronizeWakeup({}); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
    return true;
  }
}

void ShowEscapedError(const std::exception& error) {
  if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance())) {
    app->ShowException(error);
  } else {
    std::fprintf(stderr, "%s\n", error.what());
  }
}

void TApplication::ShowException(const std::exception& error) {
  std::string text = error.what();
  if (!text.empty() && text.back() != '.') text += '.';
  if (display_) {
    display_->ShowMessage(text, applicationName().toStdString(), MsgIcon::Error, MsgButtons::Ok);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}
