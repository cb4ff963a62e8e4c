// One click of "Пуск": read the request number, build the request data for
// its code, run the transaction, report a failure, update the store, show the
// answer, and for 69 and 14 the completion polls.
#pragma once

#include <array>
#include <cstdint>

#include "AnswerDisplay.h"
#include "RequestCatalogue.h"

class MainWindowState;
class OperatorInterface;
class TComPortClass;
class TServClass;

class TRequestDispatcher {
public:
  TRequestDispatcher(TComPortClass& link, TServClass& store, MainWindowState& window,
                     OperatorInterface& boxes);
  // With the request state kept elsewhere (the main window's unit keeps it program-wide).
  TRequestDispatcher(TComPortClass& link, TServClass& store, MainWindowState& window,
                     OperatorInterface& boxes, int32_t& requestNumber, uint8_t& requestCode,
                     bool& showOutcome);
  TRequestDispatcher(const TRequestDispatcher&) = delete;
  TRequestDispatcher& operator=(const TRequestDispatcher&) = delete;

  // Button1Click. An entry that is no number raises EConvertError before anything is sent.
  void Button1Click();
  // Button3Click: the cycle toggle (window side, then ShowOutcome).
  void Button3Click();
  // Timer1Timer: one click per tick. A click that raises ends polling before
  // its error goes on to the error display, whose box would otherwise be
  // joined by another one at every tick.
  void Timer1Timer();
  // Ends the cycle, as "Цикл" does, when it runs.
  void StopPolling();

  int32_t& RequestNumber;
  uint8_t& RequestCode;
  bool& ShowOutcome;

  // What the last pass did, for front ends that report it.
  int32_t LastResult() const { return result_; }
  bool LastPassSent() const { return sent_; }
  const std::array<uint8_t, kAnswerBufferSize>& LastAnswer() const { return answer_; }
  const RequestData& LastRequest() const { return request_; }

private:
  bool BuildPass();
  bool BuildDatabaseWritePass();
  void Warn(const char* text);
  void Show(uint8_t code, int32_t result);
  void ShowDatabase(int32_t result);

  int32_t ownNumber_ = 0;
  uint8_t ownCode_ = 0;
  bool ownShowOutcome_ = true;
  TComPortClass& link_;
  TServClass& store_;
  MainWindowState& window_;
  OperatorInterface& boxes_;
  RequestData request_;
  std::array<uint8_t, kAnswerBufferSize> answer_{};
  int32_t result_ = 0;
  bool sent_ = false;
  int32_t moduleEntry_ = 0;  // EditDat1 of a 68, read when its request was built
};
