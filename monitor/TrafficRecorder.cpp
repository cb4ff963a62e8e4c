#include "TrafficRecorder.h"

#include "ComPort.h"
#include "ComPortClass.h"

int64_t MonotonicUs(TComLink::TimePoint when) {
  return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

TrafficRecorder::TrafficRecorder(size_t capacity) : ring_(capacity) {}

TrafficRecorder::~TrafficRecorder() { Detach(); }

void TrafficRecorder::Attach(TComPortClass& link) {
  Detach();
  link_ = &link;
  link.AddObserver(this);
  link.ComPort().RegisterLink(this);
}

void TrafficRecorder::Detach() {
  if (!link_) return;
  EndTransaction(std::nullopt);
  link_->RemoveObserver(this);
  link_->ComPort().UnRegisterLink(this);
  link_ = nullptr;
}

void TrafficRecorder::ClearFrames() {
  ring_.Clear();
  txSeq_.reset();
  rxSeq_.reset();
  lastSeq_.reset();
  MarkComplete();
}

void TrafficRecorder::RecordForeign(const std::vector<uint8_t>& request, TimePoint sent,
                                    const std::vector<uint8_t>& answer, std::optional<TimePoint> firstByte,
                                    const std::string& note) {
  MonitorFrame tx;
  tx.Us = MonotonicUs(sent);
  tx.Direction = FrameDirection::Tx;
  tx.Bytes = request;
  tx.Address = request.size() > 0 ? request[0] : 0;
  tx.Code = request.size() > 1 ? request[1] : 0;
  tx.Note = note;
  tx.Complete = true;
  const uint8_t address = tx.Address, code = tx.Code;
  ring_.Push(std::move(tx));
  if (!answer.empty()) {
    MonitorFrame rx;
    rx.Us = MonotonicUs(firstByte.value_or(sent));
    rx.Direction = FrameDirection::Rx;
    rx.Bytes = answer;
    rx.Address = address;
    rx.Code = code;
    rx.Chunks.push_back({rx.Us, static_cast<uint16_t>(answer.size()), false});
    if (firstByte) rx.LatencyUs = MonotonicUs(*firstByte) - MonotonicUs(sent);
    rx.Note = note;
    rx.Complete = true;
    ring_.Push(std::move(rx));
  }
  MarkComplete();
}

MonitorFrame TrafficRecorder::NewFrame(FrameDirection direction, int64_t us) const {
  MonitorFrame frame;
  frame.Us = us;
  frame.Direction = direction;
  frame.Transport = Transport();
  if (inTransaction_) {
    frame.Transaction = transactions_;
    frame.Attempt = attempt_;
    frame.Stage = stage_;
    frame.Stage1Try = stage1Try_;
    frame.Stage2Try = stage2Try_;
    frame.Address = address_;
    frame.Code = code_;
  }
  return frame;
}

FrameTransport TrafficRecorder::Transport() const {
  if (!link_) return FrameTransport::Line;
  switch (link_->ComPort().PortKind()) {
    case EndpointKind::RtuOverTcp: return FrameTransport::RtuOverTcp;
    case EndpointKind::ModbusTcp: return FrameTransport::ModbusTcp;
    default: return FrameTransport::Line;
  }
}

void TrafficRecorder::MarkComplete() {
  for (uint64_t seq = completeBefore_; seq < ring_.NextSeq(); ++seq)
    if (MonitorFrame* frame = ring_.Find(seq)) frame->Complete = true;
  completeBefore_ = ring_.NextSeq();
}

void TrafficRecorder::TxBuf(const uint8_t* data, int count, TimePoint done, int waitingBefore) {
  MonitorFrame frame = NewFrame(FrameDirection::Tx, MonotonicUs(done));
  frame.Stage = 1;
  frame.Bytes.assign(data, data + count);
  if (!inTransaction_) {
    frame.Address = count > 0 ? data[0] : 0;
    frame.Code = count > 1 ? data[1] : 0;
  }
  txSeq_ = ring_.Push(std::move(frame)).Seq;
  lastSeq_ = txSeq_;
  waitingBefore_ = waitingBefore;
  if (!inTransaction_) MarkComplete();
}

void TrafficRecorder::RxBuf(const uint8_t* data, int count, TimePoint arrived, bool waiting) {
  const int64_t us = MonotonicUs(arrived);
  MonitorFrame* frame = rxSeq_ ? ring_.Find(*rxSeq_) : nullptr;
  if (!frame) {
    frame = &ring_.Push(NewFrame(FrameDirection::Rx, us));
    rxSeq_ = frame->Seq;
    lastSeq_ = rxSeq_;
  }
  frame->Stage = stage_;
  frame->Bytes.insert(frame->Bytes.end(), data, data + count);
  frame->Chunks.push_back({us, static_cast<uint16_t>(count), waiting});
}

void TrafficRecorder::RxEnded(int, int, TimePoint) {
  // Outside a transaction each read is an answer of its own.
  if (!inTransaction_ && rxSeq_) {
    rxSeq_.reset();
    MarkComplete();
  }
}

void TrafficRecorder::Purged(int discarded) {
  MonitorFrame frame = NewFrame(FrameDirection::Discarded, MonotonicUs(std::chrono::steady_clock::now()));
  frame.DiscardedCount = discarded;
  frame.Complete = true;
  lastSeq_ = ring_.Push(std::move(frame)).Seq;
}

void TrafficRecorder::TransactionStarted(const uint8_t* frame, int32_t length) {
  EndTransaction(std::nullopt);  // one that an exception cut short
  ++transactions_;
  inTransaction_ = true;
  address_ = length > 0 ? frame[0] : 0;
  code_ = length > 1 ? frame[1] : 0;
  format_ = link_ ? LineFormatOf(*link_) : LineFormat{};
  attempts_ = 0;
  attempt_ = 0;
  lastSeq_.reset();
}

void TrafficRecorder::AttemptStarted(int attempt, int stage1Try, int stage2Try) {
  attempt_ = attempt;
  stage1Try_ = stage1Try;
  stage2Try_ = stage2Try;
  stage_ = 1;
  ++attempts_;
  attemptFailed_ = false;
  txSeq_.reset();
  rxSeq_.reset();
  waitingBefore_ = 0;
}

void TrafficRecorder::RestStarted() {
  stage_ = 2;
  // The attempt is in stage 2 now, even if no byte of the rest ever comes:
  // its failure counts against the second repeat counter.
  if (MonitorFrame* rx = rxSeq_ ? ring_.Find(*rxSeq_) : nullptr) rx->Stage = 2;
}

void TrafficRecorder::AttemptFailed(int32_t result) {
  attemptFailed_ = true;
  statistics_.CountFailedAttempt(address_, result);
  EndAttempt(result);
}

void TrafficRecorder::TransactionEnded(int32_t result) { EndTransaction(result); }

void TrafficRecorder::EndAttempt(std::optional<int32_t> result) {
  MonitorFrame* tx = txSeq_ ? ring_.Find(*txSeq_) : nullptr;
  MonitorFrame* rx = rxSeq_ ? ring_.Find(*rxSeq_) : nullptr;
  if (rx && !rx->Chunks.empty()) {
    if (tx) rx->LatencyUs = rx->Chunks.front().Us - tx->Us;
    rx->LatencyAtMost = rx->Chunks.front().Waiting;
    for (size_t i = 1; i < rx->Chunks.size(); ++i)
      rx->LargestGapUs = std::max(rx->LargestGapUs, rx->Chunks[i].Us - rx->Chunks[i - 1].Us);
    // A pause inside an answer tells of the line only on the line: a network
    // splits and merges segments as it likes.
    const auto limit = CharacterTime(format_) * 3 / 2;
    rx->GapTooLong = rx->Transport == FrameTransport::Line && rx->LargestGapUs * 1000 > limit.count();
    rx->BeforeRequest = waitingBefore_ > 0;
    // Only a latency that is the device's own counts: not a bound, not a late answer.
    if (rx->LatencyUs && !rx->BeforeRequest && !rx->LatencyAtMost)
      statistics_.CountLatency(address_, *rx->LatencyUs);
  }
  MonitorFrame* last = rx ? rx : tx;
  if (last) last->AttemptResult = result;
  txSeq_.reset();
  rxSeq_.reset();
}

void TrafficRecorder::EndTransaction(std::optional<int32_t> result) {
  if (!inTransaction_) return;
  EndAttempt(result);
  if (MonitorFrame* last = lastSeq_ ? ring_.Find(*lastSeq_) : nullptr) last->TransactionResult = result;
  if (result) statistics_.CountTransaction(address_, attempts_, *result);
  // An exception answer ends the transaction at once: its attempt failed too.
  if (result && *result != ResultOk && attempts_ > 0 && !attemptFailed_)
    statistics_.CountFailedAttempt(address_, *result);
  inTransaction_ = false;
  MarkComplete();
}
