#include "FrameSplitter.h"

#include <algorithm>
#include <chrono>

#include "Crc16.h"
#include "FunctionCodes.h"

namespace {
constexpr size_t kNone = SIZE_MAX;
// Bytes already decided are dropped from the front once this many pile up.
constexpr size_t kCompactAt = 4096;
// The longest frame a reading may wait for: a block of 2048 bytes (100).
constexpr size_t kLongestWait = 2048 + 6;
// The shortest database write (69): address, code, module, a byte, CRC.
constexpr size_t kMinDatabaseWrite = 6;

int64_t Us(std::chrono::nanoseconds time) { return (time.count() + 500) / 1000; }

}  // namespace

SplitterTiming SplitterTiming::For(const LineFormat& format) {
  SplitterTiming timing;
  timing.CharacterUs = Us(CharacterTime(format));
  timing.SilenceUs = Us(InterFrameGap(format));
  // Longer than any burst gap a USB adapter's latency timer makes (16 ms by
  // default), and than ten frame-ending silences.
  timing.GiveUpUs = std::max<int64_t>(50'000, 10 * timing.SilenceUs);
  return timing;
}

FrameSplitter::FrameSplitter(SplitterTiming timing) : timing_(timing) {}

void FrameSplitter::Feed(const uint8_t* data, size_t count, int64_t arrivedUs) {
  if (count == 0) return;
  // The chunk's bytes left the wire one character apart, at the latest
  // with its last at arrival, at the earliest right after the chunk before
  // (a chunk that took longer than its bytes hides a silence somewhere).
  const auto wire = static_cast<int64_t>(count) * timing_.CharacterUs;
  const int64_t after = lastArrivalUs_ == INT64_MIN ? arrivedUs - wire : std::min(lastArrivalUs_, arrivedUs - wire);
  for (size_t i = 0; i < count; ++i) {
    const int64_t end = arrivedUs - static_cast<int64_t>(count - 1 - i) * timing_.CharacterUs;
    lastEndUs_ = std::max(end, lastEndUs_);
    bytes_.push_back(data[i]);
    endUs_.push_back(lastEndUs_);
    earliestUs_.push_back(std::min(lastEndUs_, after + static_cast<int64_t>(i + 1) * timing_.CharacterUs));
    chunkUs_.push_back(arrivedUs);
  }
  lastArrivalUs_ = std::max(lastArrivalUs_, arrivedUs);
  quietAtEnd_ = false;
  Split(false);
}

void FrameSplitter::Idle(int64_t nowUs) {
  if (lastEndUs_ == INT64_MIN) return;
  const int64_t quiet = nowUs - lastEndUs_;
  if (quiet < timing_.SilenceUs) return;
  quietAtEnd_ = true;
  Split(quiet >= timing_.GiveUpUs);
}

void FrameSplitter::Finish() {
  quietAtEnd_ = true;
  Split(true);
}

std::vector<SplitFrame> FrameSplitter::Take() {
  std::vector<SplitFrame> frames;
  frames.swap(found_);
  return frames;
}

void FrameSplitter::Split(bool final) {
  while (Step(final)) {
  }
  if (pos_ == bytes_.size() && (final || quietAtEnd_)) EmitUnframed();
  Compact();
}

bool FrameSplitter::CrcHolds(size_t at, size_t length) const {
  return at + length <= bytes_.size() &&
         EndsWithItsCrc(static_cast<int32_t>(length), bytes_.data() + at);
}

// A silence may lie before byte `index`: between the earliest end of the
// byte before and the latest start of this one.
bool FrameSplitter::SilenceBefore(size_t index) const {
  if (index == 0 || index >= endUs_.size()) return false;
  return endUs_[index] - timing_.CharacterUs - earliestUs_[index - 1] >= timing_.SilenceUs;
}

FrameLengths FrameSplitter::KnownLengths(size_t at, Reading kind) const {
  const uint8_t* b = bytes_.data() + at;
  const size_t available = bytes_.size() - at;
  switch (kind) {
    case Reading::Request:
    case Reading::OpenRequest: return RequestFrameLengths(b, available);
    case Reading::AnswerToRequest:
      return AnswerFrameLengths(request_.data(), request_.size(), b, available);
    case Reading::Answer: return AnswerFrameLengths(b, available);
  }
  return {};
}

bool FrameSplitter::FrameStartsAt(size_t at) const {
  if (at + kMinFrame > bytes_.size()) return false;
  for (Reading kind : {Reading::Request, Reading::Answer}) {
    const FrameLengths lengths = KnownLengths(at, kind);
    for (int i = 0; i < lengths.Count; ++i)
      if (CrcHolds(at, static_cast<size_t>(lengths.Lengths[static_cast<size_t>(i)]))) return true;
    // Of the frames whose end only the CRC finds, the ones of our codes.
    const uint8_t code = bytes_[at + 1];
    if (kind == Reading::Request && lengths.Open &&
        (code == fc::WriteModuleDatabase || code == fc::DeviceCode65) &&
        OpenLength(at, bytes_.size() - at, false) != 0)
      return true;
  }
  return false;
}

// The first length from `at` (at most `room` bytes) at which the CRC holds,
// and with `bounded` a boundary follows too; 0 when there is none.
// `pending`: a length whose CRC holds may yet get its boundary (the frame
// after it has not come whole).
size_t FrameSplitter::OpenLength(size_t at, size_t room, bool bounded, bool final, bool* pending) const {
  const size_t longest = std::min<size_t>(room, kMaxOpenFrame);
  // A frame after it, a sure silence or the end of the stream witness its
  // end better than a silence a chunk may hide: the first such length wins,
  // then (when no better one may still come) one with a silence that may be.
  size_t weak = 0;
  bool weakLikely = false;
  bool mayCome = false;
  // More bytes of it may come: it may run past what is held.
  const bool growing = at + room >= bytes_.size() && bytes_.size() - at < static_cast<size_t>(kMaxOpenFrame);
  uint16_t crc = 0xFFFF;
  for (size_t covered = 1; covered + 2 <= longest; ++covered) {
    crc = Crc16Next(crc, bytes_[at + covered - 1]);
    const size_t whole = covered + 2;
    if (whole < static_cast<size_t>(kMinFrame)) continue;
    if (bytes_[at + covered] != (crc & 0xFF) || bytes_[at + covered + 1] != (crc >> 8)) continue;
    if (!bounded) return whole;
    const size_t end = at + whole;
    const bool sure = end == bytes_.size() ? final || quietAtEnd_
                                           : CertainSilenceBefore(end) || FrameStartsAt(end) || AnswerHeadAt(at, end);
    if (sure) return whole;
    // Of the lengths a silence may follow, one where the bytes' times put
    // it beats one where a chunk merely hides room for it; then the last,
    // since a CRC that holds early inside a long frame holds by chance.
    if (SilenceBefore(end) && (LikelySilenceBefore(end) || !weakLikely)) {
      weak = whole;
      weakLikely = LikelySilenceBefore(end);
    }
    if (!final && FrameMayStartAt(end)) mayCome = true;
    // Bytes after it that start no frame may be the frame's own: while it
    // may go on past what is held, a silence a chunk merely hides does not
    // end it yet.
    if (!final && !quietAtEnd_ && growing && SilenceBefore(end) && !LikelySilenceBefore(end)) mayCome = true;
  }
  if (mayCome && pending) *pending = true;
  return mayCome ? 0 : weak;
}

// The bytes at `end` begin an answer to the frame at `at`: its address,
// and what fits it as far as it has come (the answer's CRC may fail).
bool FrameSplitter::AnswerHeadAt(size_t at, size_t end) const {
  if (end + 2 > bytes_.size() || bytes_[at] == 0 || bytes_[end] != bytes_[at]) return false;
  return AnswerAgrees(bytes_.data() + at, end - at, bytes_.data() + end, bytes_.size() - end);
}

// A silence lies before byte `index` if each chunk's bytes came just
// before it arrived: where a chunk that took longer than its bytes puts it.
bool FrameSplitter::LikelySilenceBefore(size_t index) const {
  if (index == 0 || index >= endUs_.size()) return false;
  return endUs_[index] - endUs_[index - 1] - timing_.CharacterUs >= timing_.SilenceUs;
}

// A silence surely lies before byte `index`.
bool FrameSplitter::CertainSilenceBefore(size_t index) const {
  if (index == 0 || index >= endUs_.size()) return false;
  return earliestUs_[index] - timing_.CharacterUs - endUs_[index - 1] >= timing_.SilenceUs;
}

bool FrameSplitter::FrameMayStartAt(size_t at) const {
  const size_t available = bytes_.size() - at;
  if (available < static_cast<size_t>(kMinFrame)) return true;
  const uint8_t code = bytes_[at + 1];
  if ((code == fc::WriteModuleDatabase || code == fc::DeviceCode65) &&
      available < static_cast<size_t>(kMaxOpenFrame) && OpenLength(at, available, false) == 0)
    return true;
  for (Reading kind : {Reading::Request, Reading::Answer}) {
    const FrameLengths lengths = KnownLengths(at, kind);
    if (lengths.NeedBytes > static_cast<int32_t>(available)) return true;
    for (int i = 0; i < lengths.Count; ++i)
      if (static_cast<size_t>(lengths.Lengths[static_cast<size_t>(i)]) > available) return true;
  }
  return false;
}

// How well a boundary after a reading ending at `end` is witnessed: 2 by
// the end of what was heard, a silence the bytes' times put there or a
// frame after it; 1 by a silence a chunk may hide there; 0 not at all.
int FrameSplitter::Support(size_t end, bool final) const {
  if (end == bytes_.size()) return final || quietAtEnd_ ? 2 : 0;
  if (LikelySilenceBefore(end) || FrameStartsAt(end)) return 2;
  return SilenceBefore(end) ? 1 : 0;
}

bool FrameSplitter::Boundary(size_t end, bool final) const {
  if (end == bytes_.size()) return final || quietAtEnd_;
  return SilenceBefore(end) || FrameStartsAt(end);
}

// An answer to the waiting request whose CRC fails: its head is the
// request's (address, and code or exception), its length the one the
// request asks for, a boundary follows it and no frame starts inside it.
// Waits while the bytes or the boundary it needs have not come yet.
FrameSplitter::BadAnswerFound FrameSplitter::BadAnswer(bool final, size_t& length) const {
  const size_t available = bytes_.size() - pos_;
  if (request_.empty() || available < 3) return BadAnswerFound::No;
  const uint8_t* b = bytes_.data() + pos_;
  if (b[0] != request_[0] || (b[1] != request_[1] && b[1] != ExceptionFunction(request_[1])))
    return BadAnswerFound::No;
  const FrameLengths lengths = KnownLengths(pos_, Reading::AnswerToRequest);
  // A frame after it is the better witness of its end than a silence, whose
  // place a chunk of several bytes hides.
  const bool exception = b[1] == ExceptionFunction(request_[1]);
  const auto longest = static_cast<size_t>(
      *std::max_element(lengths.Lengths.begin(), lengths.Lengths.begin() + std::max(lengths.Count, 1)));
  // Last, a silence a chunk may hide after it, where bytes of no frame
  // follow it up to the next frame (noise heard in the same chunk).
  bool wait = false;
  for (const Witness witness : {Witness::Frame, Witness::Silence, Witness::Noise}) {
    for (int i = lengths.Count - 1; i >= 0; --i) {
      const auto n = static_cast<size_t>(lengths.Lengths[static_cast<size_t>(i)]);
      // An exception answer is 5 bytes long, whatever the request's normal
      // answer would be.
      if (exception && n != 5) continue;
      if (n > available || (n == available && !final && !quietAtEnd_)) {
        wait = wait || !final;
        continue;
      }
      const size_t end = pos_ + n;
      bool bounded = false;
      switch (witness) {
        case Witness::Frame: bounded = end == bytes_.size() || FrameStartsAt(end); break;
        case Witness::Silence: bounded = LikelySilenceBefore(end); break;
        case Witness::Noise: {
          // Bytes up to the next frame that no length of the answer spans
          // are no cut answer: the answer ends where its length says, an
          // exception's at 5 bytes, if the bytes' times put no silence in
          // it (else it is cut short there).
          if (SilenceInside(n)) break;
          const size_t until = SilenceBefore(end) ? NoFrameUntil(end, final, wait) : kNone;
          bounded = until != kNone && until - pos_ > longest;
          break;
        }
      }
      if (!bounded) {
        // The frame after it may not have come whole yet.
        wait = wait || (!final && FrameMayStartAt(end));
        continue;
      }
      bool inside = false, coming = false;
      for (size_t at = pos_ + 1; at < end && !inside; ++at) {
        inside = FrameStartsAt(at);
        coming = coming || (!final && LikelySilenceBefore(at) && FrameMayStartAt(at));
      }
      if (inside) continue;
      if (coming) return BadAnswerFound::Wait;
      length = n;
      return BadAnswerFound::Yes;
    }
    if (wait) return BadAnswerFound::Wait;
  }
  return BadAnswerFound::No;
}

// Where the bytes from `end` that start no frame stop: at the next frame,
// which a silence may precede, or at the end of what was heard; kNone when
// there is no such place (yet: then `wait` is set while more may come).
size_t FrameSplitter::NoFrameUntil(size_t end, bool final, bool& wait) const {
  const size_t last = std::min(bytes_.size(), end + kLongestWait);
  for (size_t at = end; at < last; ++at)
    if (FrameStartsAt(at)) return at > end && SilenceBefore(at) ? at : kNone;
  if (last < bytes_.size()) return kNone;
  if (final || quietAtEnd_) return last;
  wait = true;
  return kNone;
}

// The order of roles where two readings hold: the answer to the waiting
// request; an answer to it from another address (a device answering with
// a wrong one), unless the answer to it as a request follows; a request of
// known length; an answer to it that does not fit what it asked (another
// function code, a write not echoed, a read's byte count not its
// quantity's: a foreign answer); a request whose end only the CRC found;
// an answer to no request heard.
int FrameSplitter::Rank(Reading kind, size_t length) const {
  switch (kind) {
    case Reading::AnswerToRequest: {
      if (!AnswerAgrees(request_.data(), request_.size(), bytes_.data() + pos_, bytes_.size() - pos_)) return 3;
      if (bytes_[pos_] == request_[0]) return 0;
      return AnswerHeadAt(pos_, pos_ + length) ? 3 : 1;
    }
    case Reading::Request: return 2;
    case Reading::OpenRequest: return 4;
    case Reading::Answer: return 5;
  }
  return 5;
}

// A reading of `length` bytes from pos_ runs over a silence into a frame
// whose CRC holds; `wait` is set when such a frame may still be coming.
bool FrameSplitter::Crosses(size_t length, bool final, bool& wait) const {
  for (size_t at = pos_ + 1; at < pos_ + length; ++at) {
    if (!LikelySilenceBefore(at)) continue;
    if (FrameStartsAt(at)) return true;
    if (!final && FrameMayStartAt(at)) wait = true;
  }
  return false;
}

// The first frame whose CRC holds after a silence the bytes' times put
// past pos_ (not one a chunk merely may hide), within the
// longest wait; kNone when there is none.
size_t FrameSplitter::NextFrameAfterSilence() const {
  const size_t last = std::min(bytes_.size(), pos_ + kLongestWait);
  for (size_t at = pos_ + 1; at + kMinFrame <= last; ++at)
    if (LikelySilenceBefore(at) && FrameStartsAt(at)) return at;
  return kNone;
}

// The bytes' times put a silence inside a reading of `length` from pos_.
bool FrameSplitter::SilenceInside(size_t length) const {
  for (size_t at = pos_ + 1; at < pos_ + length; ++at)
    if (LikelySilenceBefore(at)) return true;
  return false;
}

bool FrameSplitter::Step(bool final) {
  const size_t n = bytes_.size();
  const size_t available = n - pos_;
  if (available == 0) return false;
  if (available < 2 && !final) return false;

  struct Good {
    size_t Length;
    Reading Kind;
  };
  std::vector<Good> good;
  bool undecided = false;
  bool open = false;
  bool openPending = false;  // a request whose end only the CRC finds may yet be read
  // Amid bytes of no frame with no silence to part them, some CRC holds by
  // chance: there, no answer to no request heard is read, and a foreign
  // answer comes from the address asked.
  const bool parted = unframedFrom_ == kNone || LikelySilenceBefore(pos_);
  if (available >= 2) {
    std::vector<Reading> kinds = {Reading::Request};
    if (parted) kinds.push_back(Reading::Answer);
    if (!request_.empty()) kinds.insert(kinds.begin(), Reading::AnswerToRequest);
    for (Reading kind : kinds) {
      const FrameLengths lengths = KnownLengths(pos_, kind);
      open = open || lengths.Open;
      if (lengths.NeedBytes > static_cast<int32_t>(available)) undecided = true;
      for (int i = 0; i < lengths.Count; ++i) {
        const auto length = static_cast<size_t>(lengths.Lengths[static_cast<size_t>(i)]);
        if (length > available) {
          undecided = true;
        } else if (CrcHolds(pos_, length)) {
          good.push_back({length, kind});
        }
      }
    }
  }
  if (open) {
    // Any length, ended where the CRC holds and a boundary follows.
    bool pending = false;
    // After a request that waits, a frame of a code whose layout we do not
    // know is taken for its (foreign) answer; 65 and 69 stay requests.
    // A 69 carries a module and its database, never empty: one without a
    // byte of it is no request, but may be a foreign answer.
    const uint8_t code = bytes_[pos_ + 1];
    const bool ours = code == fc::WriteModuleDatabase || code == fc::DeviceCode65;
    auto role = [&](size_t length) {
      const bool request = ours && !(code == fc::WriteModuleDatabase && length < kMinDatabaseWrite);
      return request_.empty() || request ? Reading::OpenRequest : Reading::AnswerToRequest;
    };
    size_t length = OpenLength(pos_, available, true, final, &pending);
    // A frame after a silence further on ends this one at the latest: what
    // lies between cannot carry it on, so its end need not wait for them.
    if (length == 0 && pending && !final) {
      if (const size_t next = NextFrameAfterSilence(); next != kNone) {
        length = OpenLength(pos_, next - pos_, true, true);
        pending = length == 0;
      }
    }
    if (length != 0 && role(length) == Reading::AnswerToRequest && !parted && bytes_[pos_] != request_[0])
      length = 0;
    if (length != 0) good.push_back({length, role(length)});
    openPending = pending;
    undecided = undecided || pending || available < static_cast<size_t>(kMaxOpenFrame);
  }
  // A frame after a silence further on ends what may start here: no
  // reading can run into it, so none needs to wait for more bytes.
  if (undecided && !final && NextFrameAfterSilence() != kNone) undecided = false;
  if (final) undecided = false;

  // Of two overlapping readings whose CRCs hold, the one that keeps to a
  // silence wins: a reading that runs over a silence into another frame
  // is dropped (and waits while that frame may still be coming).
  bool crossing = false;
  good.erase(std::remove_if(good.begin(), good.end(),
                            [&](const Good& g) { return Crosses(g.Length, final, crossing); }),
             good.end());
  if (crossing) return false;

  // Supported readings first, then those with no silence inside (a frame
  // is sent without one), then by role, then the longer.
  auto better = [&](const Good& a, const Good& b) {
    const int sa = Support(pos_ + a.Length, final), sb = Support(pos_ + b.Length, final);
    if (sa != sb) return sa > sb;
    const bool ia = SilenceInside(a.Length), ib = SilenceInside(b.Length);
    if (ia != ib) return ib;
    const int ra = Rank(a.Kind, a.Length), rb = Rank(b.Kind, b.Length);
    if (ra != rb) return ra < rb;
    return a.Length > b.Length;
  };
  if (!good.empty()) {
    const Good best = *std::min_element(good.begin(), good.end(), better);
    const bool supported = Boundary(pos_ + best.Length, final);
    if (undecided && !supported) return false;
    // A silence a chunk merely hides is no witness against a reading whose
    // end is what has come so far: what comes next tells which one ends.
    if (!final && !quietAtEnd_ && Support(pos_ + best.Length, final) < 2 &&
        (openPending || std::any_of(good.begin(), good.end(), [&](const Good& g) { return pos_ + g.Length == n; })))
      return false;
    // An answer to no request heard loses to a request that may still be
    // read there once the frame after it has come.
    if (openPending && Rank(best.Kind, best.Length) > Rank(Reading::OpenRequest, 0)) return false;
    // An answer from another address than the one asked is a request when
    // its own answer follows: wait for enough of what follows to tell.
    if (!final && !quietAtEnd_ && !request_.empty() && bytes_[pos_] != request_[0] &&
        std::any_of(good.begin(), good.end(), [&](const Good& g) {
          return g.Kind == Reading::AnswerToRequest && n < pos_ + g.Length + 6;
        }))
      return false;
    // With no boundary after it, a reading loses to a frame that starts
    // inside it: its bytes before that frame belong to none.
    bool overlapped = false;
    for (size_t at = pos_ + 1; !supported && at < pos_ + best.Length && !overlapped; ++at)
      overlapped = FrameStartsAt(at);
    if (overlapped) good.clear();
  }
  if (!good.empty()) {
    const Good best = *std::min_element(good.begin(), good.end(), better);
    if (best.Kind == Reading::Request || best.Kind == Reading::OpenRequest) {
      Emit(SplitKind::Request, best.Length, true, false);
    } else {
      // Right after the request that waits, any answer is its, if foreign.
      const bool toRequest = best.Kind == Reading::AnswerToRequest ||
                             (!request_.empty() && lastWasRequest_ && unframedFrom_ == kNone);
      Emit(SplitKind::Answer, best.Length, true, toRequest);
    }
    return true;
  }
  if (undecided) return false;
  size_t length = 0;
  switch (BadAnswer(final, length)) {
    case BadAnswerFound::Yes: Emit(SplitKind::Answer, length, false, true); return true;
    case BadAnswerFound::Wait: return false;
    case BadAnswerFound::No: break;
  }
  // A frame whose CRC holds between two boundaries, of no layout we know,
  // while a request waits: a foreign answer to it. From another address
  // than the request's, right after a frame, and witnessed by more than a
  // silence a chunk may hide.
  bool pending = false;
  const bool fromAsked = !request_.empty() && bytes_[pos_] == request_[0];
  const bool afterFrame = !request_.empty() && unframedFrom_ == kNone && lastWasRequest_;
  size_t whole = fromAsked || afterFrame ? OpenLength(pos_, available, true, final, &pending) : 0;
  if (whole != 0 && !fromAsked && Support(pos_ + whole, final) < 2) whole = 0;
  if (whole != 0 && !Crosses(whole, final, pending)) {
    Emit(SplitKind::Answer, whole, true, true);
    return true;
  }
  if (pending) return false;
  // No frame starts here: the byte belongs to none; a silence before it
  // ends the run of such bytes before.
  if (unframedFrom_ != kNone && CertainSilenceBefore(pos_)) EmitUnframed();
  if (unframedFrom_ == kNone) unframedFrom_ = pos_;
  ++pos_;
  return true;
}

void FrameSplitter::Emit(SplitKind kind, size_t length, bool crcGood, bool toRequest) {
  if (kind != SplitKind::Unframed) EmitUnframed();
  SplitFrame frame;
  frame.Kind = kind;
  frame.CrcGood = crcGood;
  frame.ToRequest = toRequest;
  const size_t from = kind == SplitKind::Unframed ? unframedFrom_ : pos_;
  const size_t to = kind == SplitKind::Unframed ? pos_ : pos_ + length;
  frame.Bytes.assign(bytes_.begin() + static_cast<long>(from), bytes_.begin() + static_cast<long>(to));
  frame.StartUs = endUs_[from] - timing_.CharacterUs;
  frame.EndUs = endUs_[to - 1];
  for (size_t i = from; i < to; ++i) {
    if (i > from) frame.LargestGapUs = std::max(frame.LargestGapUs, endUs_[i] - endUs_[i - 1] - timing_.CharacterUs);
    if (frame.Chunks.empty() || chunkUs_[i] != frame.Chunks.back().Us || frame.Chunks.back().Count == UINT16_MAX)
      frame.Chunks.push_back({chunkUs_[i], 0});
    ++frame.Chunks.back().Count;
  }
  frame.LargestGapUs = std::max<int64_t>(frame.LargestGapUs, 0);
  if (kind == SplitKind::Request) {
    if (ExpectsAnswer(frame.Bytes[0], frame.Bytes[1])) {
      request_ = frame.Bytes;
    } else {
      request_.clear();
    }
  } else if (kind == SplitKind::Answer && toRequest) {
    request_.clear();
  }
  if (kind != SplitKind::Unframed) pos_ += length;
  lastWasRequest_ = kind == SplitKind::Request;
  found_.push_back(std::move(frame));
}

void FrameSplitter::EmitUnframed() {
  if (unframedFrom_ == kNone) return;
  Emit(SplitKind::Unframed, 0, false, false);
  unframedFrom_ = kNone;
}

void FrameSplitter::Compact() {
  const size_t keep = std::min(pos_, unframedFrom_);
  if (keep < kCompactAt && keep != bytes_.size()) return;
  if (keep == 0) return;
  const auto drop = static_cast<long>(keep);
  bytes_.erase(bytes_.begin(), bytes_.begin() + drop);
  endUs_.erase(endUs_.begin(), endUs_.begin() + drop);
  chunkUs_.erase(chunkUs_.begin(), chunkUs_.begin() + drop);
  earliestUs_.erase(earliestUs_.begin(), earliestUs_.begin() + drop);
  pos_ -= keep;
  if (unframedFrom_ != kNone) unframedFrom_ -= keep;
}
