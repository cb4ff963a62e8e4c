#include "QtMessageBoxes.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace {

// Qt labels its standard buttons in English unless a translation of Qt
// itself is loaded; the operator reads Russian. OK keeps its name.
void LabelButtonsInRussian(QMessageBox& box) {
  static const struct {
    QMessageBox::StandardButton button;
    const char* text;
  } kLabels[] = {{QMessageBox::Yes, "Да"},
                 {QMessageBox::No, "Нет"},
                 {QMessageBox::Retry, "Повтор"},
                 {QMessageBox::Cancel, "Отмена"},
                 {QMessageBox::Ok, "OK"}};
  for (const auto& label : kLabels)
    if (QAbstractButton* button = box.button(label.button)) button->setText(QString::fromUtf8(label.text));
}

}  // namespace

MsgResult QtMessageBoxes::ShowMessage(const std::string& text, const std::string& caption,
                                      MsgIcon icon, MsgButtons buttons) {
  QMessageBox::Icon qtIcon = QMessageBox::Critical;
  switch (icon) {
    case MsgIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case MsgIcon::Error: qtIcon = QMessageBox::Critical; break;
    case MsgIcon::Question: qtIcon = QMessageBox::Question; break;
    case MsgIcon::Information: qtIcon = QMessageBox::Information; break;
  }
  QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
  QMessageBox::StandardButton initial = QMessageBox::Ok;
  switch (buttons) {
    case MsgButtons::Ok: break;
    case MsgButtons::RetryCancel:
      qtButtons = QMessageBox::Retry | QMessageBox::Cancel;
      initial = QMessageBox::Retry;
      break;
    case MsgButtons::YesNo:
      qtButtons = QMessageBox::Yes | QMessageBox::No;
      initial = QMessageBox::No;  // a confirmation is never given by Enter alone
      break;
  }
  QMessageBox box(qtIcon, QString::fromStdString(caption), QString::fromStdString(text), qtButtons);
  box.setWindowModality(Qt::ApplicationModal);
  box.setDefaultButton(initial);
  LabelButtonsInRussian(box);
  switch (box.exec()) {
    case QMessageBox::Retry: return MsgResult::Retry;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Ok: return MsgResult::Ok;
    default:  // closed by the close button
      return buttons == MsgButtons::Ok ? MsgResult::Ok
             : buttons == MsgButtons::YesNo ? MsgResult::No
                                            : MsgResult::Cancel;
  }
}
