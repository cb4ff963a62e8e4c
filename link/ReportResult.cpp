// Turns a result code of the link into one operator message box.
#include <cstdio>
#include <string>

#include "ComPort.h"
#include "ComPortClass.h"
#include "OperatorInterface.h"

namespace {
constexpr const char* kWarning = "Предупреждение";
constexpr const char* kError = "Ошибка";

struct Message {
  std::string text;
  const char* caption;
  MsgIcon icon;
};

// At least two upper-case hexadecimal digits: 1 shows as 01, 11 as 0B.
std::string HexCode(int32_t code) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(code));
  return digits;
}

Message ChooseMessage(int32_t code, const std::string& devicePrefix) {
  switch (code) {
    case ExceptionDeviceBusy: return {devicePrefix + " Идет запись базы данных. Ждите.", kWarning, MsgIcon::Warning};
    case ResultReceiveError: return {devicePrefix + " ошибка приема данных ", kWarning, MsgIcon::Warning};
    case ResultIncomplete: return {devicePrefix + " тайм-аут приема данных", kWarning, MsgIcon::Warning};
    case ResultNoAnswer: return {devicePrefix + " не отвечает на запрос", kWarning, MsgIcon::Warning};
    case ResultCrcMismatch: return {devicePrefix + " ошибка контрольной суммы", kWarning, MsgIcon::Warning};
    case ResultPortNotOpened: return {" невозможно открыть последовательный порт ", kWarning, MsgIcon::Warning};
    case 133: return {"вероятно, порт не настроен", kError, MsgIcon::Error};
    case 134: return {"сбой настройки порта при выключении прибора", kError, MsgIcon::Error};
    case 135: return {"ошибка настройки порта", kError, MsgIcon::Error};
    case ResultPortNotOpen: return {"Не выбран COM-порт.", kError, MsgIcon::Error};
    default: return {devicePrefix + " ошибка обмена " + HexCode(code), kWarning, MsgIcon::Warning};
  }
}
}  // namespace

void TComPortClass::ReportResult(int32_t deviceIndex, int32_t code) {
  if (code == ResultOk) return;
  const std::string devicePrefix =
      "устройство " + std::to_string(int64_t{deviceIndex} + 1) + " " + PortName;
  const Message message = ChooseMessage(code, devicePrefix);
  // No guard: a failing Close goes to the application's error report.
  if (code == ResultPortNotOpen) comPort_.Close();
  form_.ShowMessage(message.text, message.caption, message.icon, MsgButtons::Ok);
}
