// The Modbus RTU master link: settings, port opening, request frames, the
// transaction engine and the turning of result codes into operator messages.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "AnswerLength.h"
#include "FunctionCodes.h"
#include "LineSettings.h"
#include "ResultCodes.h"
#include "LocalClock.h"
#include "ModbusTcpFraming.h"
#include "TransactionObserver.h"

class TCustomComPort;
class OperatorInterface;


inline constexpr int32_t kMaxDataLen = 3000;
inline constexpr int32_t kFrameBufferSize = kMaxDataLen + 4;

// Shown when the port itself fails while the link purges, closes or opens it.
inline constexpr const char* kPortLostText =
    "COM-порт отключен. Проверьте оборудование, перезапустите программу.";

class TComPortClass {
public:
  TComPortClass(TCustomComPort& comPort, OperatorInterface& form);

  // Working fields of the current transaction.
  int32_t FrameLen = 0;
  int32_t DataLen = 0;
  int32_t AnswerLen = 0;
  int32_t ByteCount = 0;
  // Line settings as texts; applied to the port by OpenPort.
  std::string BaudText;
  std::string ParityText;
  std::string StopBitsText;
  std::string PortName;
  int32_t Repeats1;
  int32_t Repeats2;
  int32_t WritePollCount;
  // Busy waits before and after each write, in units of 0.1 ms (see SpinDelay).
  int32_t TxDelay;
  int32_t RxDelay;

  // The local date and time, for the clock frame and WaitMs.
  LocalClock Clock = SystemLocalTime;
  // Those who follow the transactions (the traffic monitor, ...), called in
  // the order they were added; none by default, which costs nothing. Adding
  // one twice is ignored.
  void AddObserver(TransactionObserver* observer);
  void RemoveObserver(TransactionObserver* observer);
  const std::vector<TransactionObserver*>& Observers() const { return observers_; }

  // 0 when the port is open afterwards, -1 when a setting is invalid or the port stayed closed.
  int32_t OpenPort();
  void ClosePort();

  void SetRepeats1(int32_t value) { Repeats1 = value; }
  void SetRepeats2(int32_t value) { Repeats2 = value; }
  void SetTxDelay(int32_t value) { TxDelay = value; }
  void SetRxDelay(int32_t value) { RxDelay = value; }
  int32_t GetTxDelay() const { return TxDelay; }
  int32_t GetRxDelay() const { return RxDelay; }

  // Builds the frame for DataLen/FrameLen into `frame` (kFrameBufferSize bytes).
  // 0 when built, 1 when the code is not allowed (frame untouched).
  int32_t BuildFrame(uint8_t deviceIndex, uint8_t code, const uint8_t* data, uint8_t* frame);

  // One master transaction; `answer` holds `answerSize` bytes. Returns the result code.
  int32_t Transact(int32_t deviceIndex, uint8_t code, int32_t len, const uint8_t* data,
                   uint8_t* answer, int32_t answerSize);
  // One message box for a result code (nothing for 0).
  void ReportResult(int32_t deviceIndex, int32_t code);

  // Busy waits: units of 0.1 ms, and milliseconds on the time of day.
  // `watched`: a port whose arrivals are noted while waiting (for its links).
  static void SpinDelay(int32_t units, TCustomComPort* watched = nullptr);
  void WaitMs(int32_t ms);

  TCustomComPort& ComPort() { return comPort_; }

private:
  int32_t SendReceive(const uint8_t* frame, uint8_t* answer, int32_t answerSize);
  // Discards the port's queues. A failure is the lost port: polling stops,
  // the operator is told, the main window closes, and the caller goes on.
  void Purge(bool input, bool output);
  int32_t PortWrite(const uint8_t* frame);
  int32_t PortRead(uint8_t* place, int32_t count);
  // Reads `count` answer bytes meant for `answer + offset`, storing only what
  // was received and fits `answerSize`; `copy`, if given, gets all of them.
  int32_t ReadAnswerPart(uint8_t* answer, int32_t answerSize, int32_t offset, int32_t count,
                         uint8_t* copy);

  // Each observer told `call`'s event.
  template <typename Call>
  void Tell(Call call) {
    for (TransactionObserver* observer : observers_) call(*observer);
  }
  // An answer that is not ours though whole: a Modbus TCP header of another request.
  bool AnswerNotOurs() const;

  TCustomComPort& comPort_;
  OperatorInterface& form_;
  std::vector<TransactionObserver*> observers_;
  // The framing of the current transaction: RTU as it is, or Modbus TCP
  // when the port is a tcp:// endpoint.
  bool modbusTcp_ = false;
  ModbusTcpFraming tcpFraming_;
};

// The lenient decimal conversion of the settings: leading blanks, optional
// sign, digits up to the first non-digit; no digits give 0.
int32_t LenientToInt(const std::string& text);
