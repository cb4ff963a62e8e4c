// One Modbus RTU master transaction: frame, purge, write, two-stage read,
// checks, and the two repeat counters.
#include <algorithm>
#include <array>
#include <cstring>

#include "ComPort.h"
#include "ComPortClass.h"
#include "Crc16.h"
#include "OperatorInterface.h"

namespace {
constexpr int32_t kHeadLen = 3;
constexpr int32_t kExceptionLen = 5;
constexpr int32_t kFailurePauseMs = 300;

}  // namespace

int32_t TComPortClass::Transact(int32_t deviceIndex, uint8_t code, int32_t len,
                                const uint8_t* data, uint8_t* answer, int32_t answerSize) {
  // A length the frame buffer cannot hold, or data that is not there, is
  // refused like a foreign code: before anything is built or sent.
  if (len < 0 || len > kMaxDataLen) return ResultCodeRefused;
  if (len > 0 && data == nullptr && code != 70) return ResultCodeRefused;
  if (answer == nullptr) answerSize = 0;

  DataLen = len;
  FrameLen = len + 4;
  std::array<uint8_t, kFrameBufferSize> frame{};
  if (BuildFrame(static_cast<uint8_t>(deviceIndex), code, data, frame.data()) == 1)
    return ResultCodeRefused;
  if (!comPort_.Connected()) return ResultPortNotOpen;

  modbusTcp_ = comPort_.PortKind() == EndpointKind::ModbusTcp;
  Tell([&](TransactionObserver& o) { o.TransactionStarted(frame.data(), FrameLen); });
  Purge(true, true);
  const int32_t result = SendReceive(frame.data(), answer, std::max(answerSize, 0));
  Tell([&](TransactionObserver& o) { o.TransactionEnded(result); });
  return result;
}

void TComPortClass::Purge(bool input, bool output) {
  try {
    comPort_.ClearBuffer(input, output);
  } catch (const EComPort&) {
    // The box runs a modal loop that delivers ticks: stop polling first.
    form_.DisablePollTimer();
    form_.ShowMessage(kPortLostText, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
    form_.CloseMainWindow();
  }
}

int32_t TComPortClass::SendReceive(const uint8_t* frame, uint8_t* answer, int32_t answerSize) {
  const uint8_t code = frame[1];
  // Counts below 1 act as 1, so that the countdowns always reach 0.
  const int32_t stage1Start = std::max(Repeats1, 1);
  int32_t stage1 = stage1Start;
  const int32_t stage2Start = std::max(Repeats2, 1);
  int32_t stage2 = stage2Start;

  for (int attempt = 1;; ++attempt) {
    Tell([&](TransactionObserver& o) {
      o.AttemptStarted(attempt, stage1Start - stage1 + 1, stage2Start - stage2 + 1);
    });
    SpinDelay(TxDelay, &comPort_);
    PortWrite(frame);
    SpinDelay(RxDelay, &comPort_);
    if (GetsNoAnswer(code)) return ResultOk;

    int32_t result = ResultOk;
    bool secondStage = false;
    bool foreignHead = false;
    uint8_t head[kHeadLen] = {};
    const int32_t headGot = ReadAnswerPart(answer, answerSize, 0, kHeadLen, head);
    if (AnswerNotOurs()) {
      // A whole answer of another request (or with a header that cannot be
      // one): it failed its frame check, as an RTU answer with a bad CRC does.
      stage1 = stage1Start;
      secondStage = true;
      foreignHead = true;  // what may follow it is not ours either
      result = ResultCrcMismatch;
    } else if (headGot == 0) {
      result = ResultNoAnswer;
    } else if (headGot < kHeadLen) {
      result = ResultIncomplete;
    } else {
      ByteCount = head[2];
      AnswerLen = ExpectedAnswerLength(code, FrameLen, head[2]);
      const bool normal = head[1] == code;
      const bool exception = head[1] == ExceptionFunction(code);
      if (exception && head[2] != 0) {
        // Returned at once; its CRC stays in the port until the next purge.
        AnswerLen = kExceptionLen;
        return head[2];
      }
      const auto byteCount = ExpectedByteCount(code, frame + 2, DataLen);
      if (!normal && !exception) {
        // Neither our code nor its exception form: never taken for a good answer.
        result = ResultReceiveError;
        foreignHead = true;
      } else if (normal && byteCount && head[2] != *byteCount) {
        // Data of another quantity than asked (a late answer to an earlier
        // read, say): a bad answer, as a foreign code is, never data.
        result = ResultReceiveError;
        foreignHead = true;
      } else {
        stage1 = stage1Start;  // stage 1 counts consecutive head failures only
        secondStage = true;
        const int32_t rest = AnswerLen - kHeadLen;
        Tell([](TransactionObserver& o) { o.RestStarted(); });
        const int32_t restGot = ReadAnswerPart(answer, answerSize, kHeadLen, rest, nullptr);
        if (AnswerLen > answerSize) {
          // Taken off the line, but it cannot be held, let alone checked.
          result = ResultReceiveError;
        } else if (restGot == 0 && rest > 0) {
          result = ResultNoAnswer;
        } else if (restGot < rest) {
          result = ResultIncomplete;
        } else {
          if (EndsWithItsCrc(AnswerLen, answer)) return ResultOk;
          result = ResultCrcMismatch;
        }
      }
    }

    Tell([&](TransactionObserver& o) { o.AttemptFailed(result); });
    WaitMs(kFailurePauseMs);  // after every failed attempt, the last one included
    // The rest of a foreign answer has come in during the pause; left queued,
    // it would be read as the next attempt's head and the device's next
    // answers would all be misread.
    if (foreignHead) Purge(true, false);
    int32_t& countdown = secondStage ? stage2 : stage1;
    if (--countdown == 0) return result;
  }
}

int32_t TComPortClass::ReadAnswerPart(uint8_t* answer, int32_t answerSize, int32_t offset,
                                      int32_t count, uint8_t* copy) {
  count = std::min(count, kFrameBufferSize);
  if (count <= 0) return 0;
  if (offset + count <= answerSize) {
    const int32_t got = PortRead(answer + offset, count);
    if (copy != nullptr && got > 0) std::memcpy(copy, answer + offset, static_cast<size_t>(got));
    return got;
  }
  // Too long for the caller's buffer: read it aside, keep only what fits.
  std::array<uint8_t, kFrameBufferSize> aside;
  const int32_t got = PortRead(aside.data(), count);
  const int32_t fits = std::clamp(answerSize - offset, 0, got);
  if (fits > 0) std::memcpy(answer + offset, aside.data(), static_cast<size_t>(fits));
  if (copy != nullptr && got > 0) std::memcpy(copy, aside.data(), static_cast<size_t>(got));
  return got;
}

int32_t TComPortClass::PortWrite(const uint8_t* frame) {
  // The count written is not looked at.
  if (modbusTcp_)
    tcpFraming_.Send(comPort_, frame, FrameLen);
  else
    comPort_.Write(frame, FrameLen);
  return 0;
}

int32_t TComPortClass::PortRead(uint8_t* place, int32_t count) {
  return modbusTcp_ ? tcpFraming_.Read(comPort_, place, count) : comPort_.Read(place, count);
}

bool TComPortClass::AnswerNotOurs() const { return modbusTcp_ && tcpFraming_.HeaderMismatched(); }
