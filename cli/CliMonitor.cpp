#include "CliMonitor.h"

CliMonitor::CliMonitor(std::ostream& lines, bool keepFrames)
    : lines_(lines), keepFrames_(keepFrames) {}

void CliMonitor::Start(TComPortClass& link) {
  followed_ = &link;
  Attach(link);
  anchor_ = ClockAnchor::Now();
  originUs_ = anchor_.MonotonicUs;
}

void CliMonitor::EndCutShort() {
  // Attach detaches first, and detaching ends the transaction left open.
  if (followed_) Attach(*followed_);
}

void CliMonitor::TransactionEnded(int32_t result) {
  TrafficRecorder::TransactionEnded(result);
  if (TakeAtTransactionEnd) TakeCompleted();
}

void CliMonitor::TakeCompleted() {
  std::string text;
  const MonitorFrame* answer = nullptr;  // the newest answer seen in this pass
  for (uint64_t seq = nextSeq_; seq < CompleteBefore(); ++seq) {
    const MonitorFrame* frame = Frames().Find(seq);
    if (!frame) {  // the ring overflowed within one transaction
      if (keepFrames_) ++omitted_;
      continue;
    }
    MonitorFrame previous;
    if (previousUs_) previous.Us = *previousUs_;
    text += TextLine(DescribeFrame(*frame, previousUs_ ? &previous : nullptr, anchor_)) + "\n";
    previousUs_ = frame->Us;

    if (frame->Direction == FrameDirection::Rx) answer = frame;
    if (frame->TransactionResult) {
      ++transactionsEnded_;
      const bool good = *frame->TransactionResult == 0 && answer &&
                        answer->Transaction == frame->Transaction && answer->AttemptResult == 0 &&
                        !answer->BeforeRequest;
      lastGoodLatencyUs_ = good ? answer->LatencyUs : std::nullopt;
      spanLatencyUs_ = lastGoodLatencyUs_;
    }
    if (keepFrames_) Keep(*frame);
  }
  nextSeq_ = CompleteBefore();
  ClearFrames();  // taken: the ring holds no more than one transaction
  if (!text.empty()) lines_ << text << std::flush;
}

void CliMonitor::Keep(const MonitorFrame& frame) {
  if (frame.Direction == FrameDirection::Discarded) {
    discarded_ += frame.DiscardedCount;
    return;
  }
  if (keptTransactions_.empty() || keptTransactions_.back().first != frame.Transaction)
    keptTransactions_.emplace_back(frame.Transaction, 0);
  kept_.push_back(frame);
  ++keptTransactions_.back().second;
  if (keptTransactions_.size() > kKeptTransactions) {
    const size_t oldest = keptTransactions_.front().second;
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(oldest));
    omitted_ += oldest;
    keptTransactions_.pop_front();
  }
}

MonitorSpan CliMonitor::TakeSpan() {
  MonitorSpan span;
  span.Frames.assign(std::make_move_iterator(kept_.begin()), std::make_move_iterator(kept_.end()));
  span.OmittedFrames = omitted_;
  span.DiscardedBytes = discarded_;
  span.GoodLatencyUs = spanLatencyUs_;
  span.OriginUs = originUs_;
  span.Anchor = anchor_;
  kept_.clear();
  keptTransactions_.clear();
  omitted_ = 0;
  discarded_ = 0;
  spanLatencyUs_.reset();
  return span;
}

double UsToMs(int64_t us) { return static_cast<double>(us) / 1000.0; }
