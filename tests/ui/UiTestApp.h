// The application object of the window tests (offscreen platform unless
// QT_QPA_PLATFORM says otherwise) and a fixture that builds the program's
// three windows around a recording message-box service.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QString>
#include <ostream>
#include <QWidget>
#include <functional>

#include "RecordingOperator.h"
#include "TesterApplication.h"

class TForm1;

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

TApplication& UiTestApp();

// Lets queued events run for `ms` milliseconds.
void ProcessEvents(int ms = 0);
// Lets events run until `done` holds (true) or `ms` milliseconds passed (false).
bool WaitUntil(const std::function<bool()>& done, int ms);

QColor BaseColour(const QWidget* widget);

// The control that Tab moves to from `from` within its window.
QWidget* NextTabStop(QWidget* from);

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  TForm1& Form();

  RecordingOperator boxes;
};
