#include "LineAnalyser.h"

#include <string>

#include "FrameLengths.h"
#include "FunctionCodes.h"
#include "ResultCodes.h"

LineAnalyser::LineAnalyser(const LineFormat& format, size_t capacity)
    : splitter_(SplitterTiming::For(format)), ring_(capacity),
      gapTooLongUs_(splitter_.Timing().CharacterUs * 3 / 2) {}

void LineAnalyser::Feed(const uint8_t* data, size_t count, int64_t arrivedUs) {
  splitter_.Feed(data, count, arrivedUs);
  TakeFound();
}

void LineAnalyser::Idle(int64_t nowUs) {
  splitter_.Idle(nowUs);
  TakeFound();
  if (waiting_ && splitter_.Held() == 0 && nowUs - waitingEndUs_ >= AnswerWaitUs) CloseUnanswered();
  Advance();
}

void LineAnalyser::Finish() {
  splitter_.Finish();
  TakeFound();
  CloseUnanswered();
  Advance();
}

void LineAnalyser::TakeFound() {
  for (const SplitFrame& found : splitter_.Take()) {
    switch (found.Kind) {
      case SplitKind::Request: AddRequest(found); break;
      case SplitKind::Answer: AddAnswer(found); break;
      case SplitKind::Unframed: AddUnframed(found); break;
    }
  }
  Advance();
}

MonitorFrame LineAnalyser::NewFrame(FrameDirection direction, const SplitFrame& found) const {
  MonitorFrame frame;
  frame.Direction = direction;
  frame.Us = found.StartUs;
  frame.Bytes = found.Bytes;
  frame.Attempt = 0;  // no attempts or stages on a line we only hear
  for (const ChunkSpan& chunk : found.Chunks) frame.Chunks.push_back({chunk.Us, chunk.Count, false});
  frame.LargestGapUs = found.LargestGapUs;
  frame.GapTooLong = found.LargestGapUs > gapTooLongUs_;
  frame.Complete = true;
  return frame;
}

void LineAnalyser::AddRequest(const SplitFrame& found) {
  CloseUnanswered();
  MonitorFrame frame = NewFrame(FrameDirection::Tx, found);
  frame.Transaction = ++exchanges_;
  frame.Address = found.Bytes[0];
  frame.Code = found.Bytes[1];
  statistics_.CountRequest(frame.Address, found.StartUs);
  if (ExpectsAnswer(frame.Address, frame.Code)) {
    frame.Complete = false;
    waiting_ = ring_.Push(std::move(frame)).Seq;
    waitingEndUs_ = found.EndUs;
    headAfterWaiting_ = noiseAfterWaiting_ = false;
    return;
  }
  // Sent without an answer by the protocol: a broadcast, 69, 70.
  if (frame.Address == 0) frame.Note = "широковещательный, без ответа";
  if (GetsNoAnswer(frame.Code)) frame.AttemptResult = ResultOk;
  statistics_.CountResult(frame.Address, ResultOk);
  ring_.Push(std::move(frame));
}

void LineAnalyser::AddAnswer(const SplitFrame& found) {
  MonitorFrame frame = NewFrame(FrameDirection::Rx, found);
  MonitorFrame* request = waiting_ ? ring_.Find(*waiting_) : nullptr;
  const uint8_t function = found.Bytes[1];
  if (!found.ToRequest || !request) {
    frame.Address = found.Bytes[0];
    frame.Code = static_cast<uint8_t>(function & 0x7F);
    frame.Note = "ответ без запроса";
    statistics_.CountStrayAnswer(frame.Address);
    ring_.Push(std::move(frame));
    return;
  }
  const std::vector<uint8_t>& asked = request->Bytes;
  int32_t result = ResultOk;
  if (!found.CrcGood) {
    result = ResultCrcMismatch;
  } else if (function == ExceptionFunction(asked[1]) && found.Bytes[2] != 0) {
    result = found.Bytes[2];
  } else if (!AnswerFits(asked.data(), asked.size(), found.Bytes.data(), found.Bytes.size())) {
    result = ResultReceiveError;  // another function code, or another length than asked
  }
  frame.Transaction = request->Transaction;
  frame.Address = request->Address;
  frame.Code = request->Code;
  frame.AttemptResult = result;
  frame.LatencyUs = found.StartUs - waitingEndUs_;
  frame.TooSoon = *frame.LatencyUs < splitter_.Timing().SilenceUs;
  std::string note;
  if (found.Bytes[0] != request->Address)
    note = "ответил адрес " + std::to_string(found.Bytes[0]) + ", спрошен " + std::to_string(request->Address);
  if (frame.TooSoon) note += std::string(note.empty() ? "" : "; ") + "ответ раньше паузы в 3,5 символа";
  frame.Note = note;
  statistics_.CountResult(request->Address, result);
  statistics_.CountLatency(request->Address, *frame.LatencyUs, frame.TooSoon);
  request->Complete = true;
  waiting_.reset();
  ring_.Push(std::move(frame));
}

void LineAnalyser::AddUnframed(const SplitFrame& found) {
  MonitorFrame frame = NewFrame(FrameDirection::Unframed, found);
  frame.Note = "байты вне кадров: " + std::to_string(found.Bytes.size());
  statistics_.CountUnframed(found.Bytes.size());
  if (waiting_) {
    const MonitorFrame* request = ring_.Find(*waiting_);
    const bool head = request && !noiseAfterWaiting_ && found.Bytes.size() >= 2 &&
                      found.Bytes[0] == request->Address &&
                      (found.Bytes[1] == request->Code || found.Bytes[1] == ExceptionFunction(request->Code));
    headAfterWaiting_ = headAfterWaiting_ || head;
    noiseAfterWaiting_ = true;
  }
  ring_.Push(std::move(frame));
}

void LineAnalyser::CloseUnanswered() {
  if (!waiting_) return;
  if (MonitorFrame* request = ring_.Find(*waiting_)) {
    const int32_t result = headAfterWaiting_ ? ResultIncomplete : ResultNoAnswer;
    request->AttemptResult = result;
    if (noiseAfterWaiting_ && !headAfterWaiting_) request->Note = "вместо ответа байты вне кадров";
    request->Complete = true;
    statistics_.CountResult(request->Address, result);
  }
  waiting_.reset();
}

void LineAnalyser::Advance() {
  const uint64_t complete = waiting_ ? *waiting_ : ring_.NextSeq();
  for (uint64_t seq = completeBefore_; seq < complete; ++seq) {
    if (!OnComplete) break;
    if (const MonitorFrame* frame = ring_.Find(seq)) OnComplete(*frame);
  }
  completeBefore_ = std::max(completeBefore_, complete);
}
