// The application object: an error that escapes an event handler is shown
// to the operator and the program goes on.
#pragma once

#include <QApplication>
#include <exception>

class OperatorInterface;

class TApplication : public QApplication {
  Q_OBJECT
public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  // The display of escaped errors; without one they go to standard error.
  void SetErrorDisplay(OperatorInterface* display) { display_ = display; }
  void ShowException(const std::exception& error);

private:
  OperatorInterface* display_ = nullptr;
};
