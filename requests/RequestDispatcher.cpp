#include "RequestDispatcher.h"

#include <algorithm>

#include "ComPortClass.h"
#include "DatabaseWrite.h"
#include "EntryField.h"
#include "MainWindowState.h"
#include "OperatorInterface.h"
#include "ServClass.h"
#include "StrToInt.h"

namespace {
constexpr const char* kWarningCaption = "Предупреждение";
}  // namespace

TRequestDispatcher::TRequestDispatcher(TComPortClass& link, TServClass& store,
                                       MainWindowState& window, OperatorInterface& boxes)
    : TRequestDispatcher(link, store, window, boxes, ownNumber_, ownCode_, ownShowOutcome_) {}

TRequestDispatcher::TRequestDispatcher(TComPortClass& link, TServClass& store,
                                       MainWindowState& window, OperatorInterface& boxes,
                                       int32_t& requestNumber, uint8_t& requestCode,
                                       bool& showOutcome)
    : RequestNumber(requestNumber),
      RequestCode(requestCode),
      ShowOutcome(showOutcome),
      link_(link),
      store_(store),
      window_(window),
      boxes_(boxes) {}

void TRequestDispatcher::Button3Click() {
  window_.TogglePollTimer();
  ShowOutcome = !ShowOutcome;
}

void TRequestDispatcher::Timer1Timer() {
  try {
    Button1Click();
  } catch (...) {
    StopPolling();
    throw;
  }
}

void TRequestDispatcher::StopPolling() {
  if (window_.PollTimerEnabled()) Button3Click();
}

void TRequestDispatcher::Warn(const char* text) {
  StopPolling();
  boxes_.ShowMessage(text, kWarningCaption, MsgIcon::Warning, MsgButtons::Ok);
}

void TRequestDispatcher::Button1Click() {
  window_.ResetGridFontColour();
  request_ = RequestData{};
  sent_ = false;
  RequestNumber = StrToInt(window_.RequestEntry().Text());
  RequestCode = static_cast<uint8_t>(RequestNumber & 0xFF);
  link_.WritePollCount = 5;

  for (;;) {
    ShowOutcome = RequestCode != fc::WriteCompletionPoll;
    if (!BuildPass()) return;

    answer_.fill(0);
    result_ = link_.Transact(store_.DeviceIndex, RequestCode, request_.Length, request_.Bytes.data(),
                             answer_.data(), kAnswerBufferSize);
    sent_ = true;
    if (result_ != 0) {
      StopPolling();
      if (ShowOutcome) link_.ReportResult(store_.DeviceIndex, result_);
    } else {
      store_.UpdateFromAnswer(RequestCode, answer_);
      if (RequestCode == fc::ReadModuleDatabase) store_.DbLength = answer_[2];
    }

    if (RequestCode == fc::ReadModuleDatabase) {
      ShowDatabase(result_);
      return;
    }
    Show(RequestCode, result_);

    if (RequestCode == fc::WriteModuleDatabase) {
      // The device needs time to store the database: poll it with 14.
      RequestCode = fc::WriteCompletionPoll;
      link_.WaitMs(1200);
      continue;
    }
    if (RequestCode == fc::WriteCompletionPoll &&
        (result_ == ExceptionDeviceBusy || result_ == ResultNoAnswer)) {
      if (--link_.WritePollCount <= 0) return;
      link_.WaitMs(200);
      continue;
    }
    return;
  }
}

bool TRequestDispatcher::BuildPass() {
  if (RequestCode == fc::WriteModuleDatabase) return BuildDatabaseWritePass();
  const CellReader cell = [this](int c, int r) { return window_.Cell(c, r); };
  if (RequestCode == fc::ReadModuleDatabase) moduleEntry_ = StrToInt(window_.Data1Entry().Text());
  switch (BuildRequest(RequestCode, window_.Data1Entry().Text(), window_.Data2Entry().Text(), cell,
                       request_)) {
    case RequestRefusal::None:
      return true;
    case RequestRefusal::QuantityOutOfRange:
      StopPolling();
      store_.InputError(window_.Data2Entry());
      return false;
    case RequestRefusal::CountOutOfRange:
      StopPolling();
      store_.InputError(window_.Data1Entry());
      return false;
    case RequestRefusal::TableEmpty:
      Warn(kTableEmptyText);
      return false;
  }
  return false;
}

bool TRequestDispatcher::BuildDatabaseWritePass() {
  const CellReader cell = [this](int c, int r) { return window_.Cell(c, r); };
  const DatabaseWritePlan plan = PlanDatabaseWrite(window_.Data1Entry().Text(), store_.DbModule, store_.DbLength, cell);
  switch (plan.Check) {
    case DatabaseWriteCheck::WrongDatabase:
      Warn(kWrongDatabaseText);
      return false;
    case DatabaseWriteCheck::EmptyTable:
      Warn(kEmptyDatabaseText);
      return false;
    case DatabaseWriteCheck::NeedsConfirm:
      StopPolling();
      if (boxes_.ShowMessage(ConfirmWriteText(store_.DbModule), kConfirmWriteCaption,
                             MsgIcon::Question, MsgButtons::YesNo) != MsgResult::Yes)
        return false;
      break;
    case DatabaseWriteCheck::Ready:
      break;
  }
  BuildDatabaseWrite(plan, store_.DbLength, cell, request_);
  return true;
}

void TRequestDispatcher::Show(uint8_t code, int32_t result) {
  const AnswerLayout layout = LayOutAnswer(code, result, answer_, store_);
  for (int n = 1; n <= 20; ++n) window_.SetField(n, layout.Fields[static_cast<size_t>(n - 1)]);
  if (!layout.Grid) return;
  for (int r = 1; r <= kGridDataRows; ++r)
    for (int c = 0; c < kGridColumns; ++c)
      window_.SetCell(c, r, (*layout.Grid)[static_cast<size_t>(r - 1)][static_cast<size_t>(c)]);
}

void TRequestDispatcher::ShowDatabase(int32_t result) {
  Show(fc::ReadModuleDatabase, result);
  if (result != ResultOk) {
    // What a failed read left in the grid is no module's database: a 69
    // must not write it back (nor an older database, read before this
    // failure, to the module this read was meant for).
    store_.DbLength = 0;
    store_.DbModule = 0;
    return;
  }
  store_.DbModule = 0;
  if (moduleEntry_ != 0 && store_.DbLength > 0) {
    store_.DbModule = answer_[3];
    const int32_t length = std::min<int32_t>(store_.DbLength, static_cast<int32_t>(store_.DbImage.size()));
    for (int32_t i = 0; i < length; ++i) store_.DbImage[static_cast<size_t>(i)] = answer_[3 + static_cast<size_t>(i)];
  }
}
