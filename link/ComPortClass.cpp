#include "ComPortClass.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ComPort.h"
#include "Crc16.h"
#include "OperatorInterface.h"

TComPortClass::TComPortClass(TCustomComPort& comPort, OperatorInterface& form)
    : BaudText("9600"),
      ParityText("N"),
      StopBitsText("2"),
      PortName("COM1"),
      Repeats1(5),
      Repeats2(10),
      WritePollCount(5),
      TxDelay(25),
      RxDelay(20),
      comPort_(comPort),
      form_(form) {}

int32_t LenientToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    value = std::min<int64_t>(value, std::numeric_limits<int32_t>::max());
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t TComPortClass::OpenPort() {
  auto portLost = [this] {
    form_.ShowMessage(kPortLostText, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
    form_.CloseMainWindow();
  };
  try {
    comPort_.Close();
  } catch (const EComPort&) {
    portLost();
  }

  const int32_t baud = LenientToInt(BaudText);
  if (!IsLinkRate(baud)) return -1;
  comPort_.SetBaudRate(BaudRateOf(baud));

  const char parity = ParityText.empty() ? '\0' : ParityText[0];
  switch (parity) {
    case 'E': comPort_.Parity().SetBits(prEven); break;
    case 'N': comPort_.Parity().SetBits(prNone); break;
    case 'O': comPort_.Parity().SetBits(prOdd); break;
    default: return -1;
  }

  switch (LenientToInt(StopBitsText)) {
    case 1: comPort_.SetStopBits(sbOneStopBit); break;
    case 2: comPort_.SetStopBits(sbTwoStopBits); break;
    default: return -1;
  }

  // A name written as an endpoint of its own (a device path, rtuovertcp://,
  // tcp://) names its port by its form; every other name must say COM or com.
  if (!IsEndpointName(PortName) && PortName.find("COM") == std::string::npos &&
      PortName.find("com") == std::string::npos)
    return -1;
  comPort_.SetPort(PortName);

  try {
    comPort_.Open();
  } catch (const EComPort&) {
    portLost();
  }
  comPort_.Open();  // on an open port nothing; after a failure its error goes to the caller
  return comPort_.Connected() ? 0 : -1;
}

void TComPortClass::ClosePort() {
  try {
    comPort_.Close();
  } catch (const EComPort&) {
    // Closing is best effort: the operator is told nothing.
  }
}

int32_t TComPortClass::BuildFrame(uint8_t deviceIndex, uint8_t code, const uint8_t* data,
                                  uint8_t* frame) {
  if (std::find(AllowedCodes.begin(), AllowedCodes.end(), code) == AllowedCodes.end()) return 1;
  // The frame buffer holds kFrameBufferSize bytes: a longer data part is refused.
  if (DataLen < 0 || DataLen > kMaxDataLen) return 1;
  frame[0] = static_cast<uint8_t>(deviceIndex + 1);
  frame[1] = code;
  if (DataLen > 0) {
    if (code != 70) {
      std::memcpy(frame + 2, data, static_cast<size_t>(DataLen));
    } else {
      // The clock frame goes to every device: plain binary fields, no year.
      const LocalDateTime now = Clock();
      frame[0] = 0;
      const uint8_t fields[5] = {static_cast<uint8_t>(now.Second), static_cast<uint8_t>(now.Minute),
                                 static_cast<uint8_t>(now.Hour), static_cast<uint8_t>(now.Day),
                                 static_cast<uint8_t>(now.Month)};
      std::memcpy(frame + 2, fields, static_cast<size_t>(std::min<int32_t>(DataLen, 5)));
    }
  }
  const uint16_t crc = Crc16(FrameLen - 2, frame);
  frame[DataLen + 2] = static_cast<uint8_t>(crc & 0xFF);
  frame[DataLen + 3] = static_cast<uint8_t>(crc >> 8);
  return 0;
}

void TComPortClass::AddObserver(TransactionObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void TComPortClass::RemoveObserver(TransactionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}
