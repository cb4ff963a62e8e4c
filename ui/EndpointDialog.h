// TFormEndpoint: the port that is not in the list of COM ports, typed by the
// operator: a serial device server (RTU over TCP), a Modbus TCP device or
// gateway, or a device path. Reached from the port settings dialog by the
// button beside its list. The dialog remembers the kind and the address.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "Endpoint.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFormEndpoint : public QDialog {
  Q_OBJECT
public:
  explicit TFormEndpoint(QWidget* parent = nullptr);

  QComboBox* Kind;
  QLineEdit* Address;
  QLabel* Hint;
  QPushButton* OK;
  QPushButton* Cancel;

  // Shows the dialog with `current` (a port name of one of the kinds, or
  // empty); the name typed, or nothing when cancelled.
  std::optional<std::string> Ask(const std::string& current);

  // The kinds in the order of the list.
  static EndpointKind KindAt(int index);
  // "Modbus TCP 127.0.0.1:1502, без настроек линии" — what a name stands for, for the port list.
  static QString Describe(const std::string& name);

private:
  void ShowHint();
  void Accept();
  std::string chosen_;
};
