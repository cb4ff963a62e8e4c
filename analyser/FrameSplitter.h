// Finds Modbus RTU frames in a byte stream heard on a line we do not drive,
// however the bytes were cut into chunks. A frame is where the length rules
// of its code (FrameLengths.h) and the CRC agree; silences of 3.5 characters
// are hints only: they end a frame whose length only the CRC can find (69,
// 65, codes of other layouts), support a boundary between two readings, and
// let bytes that came before them be given up. A silence a chunk merely
// hides (one the bytes' times do not put there) ends such a frame only once
// no more of it can come. After bytes that fit no frame the search goes on
// from the next byte.
//
// Where a stretch reads two ways, the reading whose CRCs hold wins: a frame
// whose CRC holds beats bytes that fit nothing, and of two readings that
// both hold, the one whose end is better witnessed wins (the end of what
// was heard, a silence the bytes' times put there, or another frame whose
// CRC holds, before a silence a chunk may merely hide); while a reading
// ends where the bytes heard so far end, the choice waits for what comes
// next. Then the one with no silence inside; then by role: the answer to
// the request before it (its code or exception, a write's echo, a read's
// byte count), an answer like it from another address unless the answer
// to it as a request follows, a request, an answer that does not fit the
// request (a foreign answer), a request whose end only the CRC found, an
// answer to no request heard; then the longer frame. (A frame followed by
// a byte 00 reads one byte longer with a CRC that holds too: 68 with its
// module is such a pair.) An answer to the waiting request whose CRC fails
// ends where its length says if a frame or a silence follows it, or, in a
// chunk that may hide a silence there, bytes of no frame up to the next
// frame: more bytes than any length of the answer spans, so that they are
// no cut answer; an exception's is 5 bytes long. A 69 without a
// byte of database is read as no request, and 65 and 69 stay requests
// where no length of an answer to the waiting request fits them. Amid
// bytes of no frame with no silence to part them, an answer to no request
// and a foreign answer from another address than the one asked are not
// read: there some CRC holds by chance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <climits>
#include <vector>

#include "FrameLengths.h"
#include "RtuTiming.h"

enum class SplitKind : uint8_t {
  Request,   // a master's request
  Answer,    // a device's answer (to the request before it, or to none heard)
  Unframed,  // bytes that fit no frame
};

struct ChunkSpan {
  int64_t Us = 0;      // when the chunk arrived (its last byte)
  uint16_t Count = 0;  // how many of the frame's bytes came in it
};

struct SplitFrame {
  SplitKind Kind = SplitKind::Unframed;
  std::vector<uint8_t> Bytes;
  bool CrcGood = false;         // false: unframed bytes, or an answer whose CRC fails
  bool ToRequest = false;       // an answer read by the length of the request before it
  int64_t StartUs = 0;          // the first byte began (estimated: chunk time less wire time)
  int64_t EndUs = 0;            // the last byte ended
  int64_t LargestGapUs = 0;     // the longest silence between two of its bytes
  std::vector<ChunkSpan> Chunks;
};

struct SplitterTiming {
  int64_t CharacterUs = 0;  // one character on the wire
  int64_t SilenceUs = 0;    // the silence that ends a frame (3.5 characters)
  // Bytes stop coming for this long: what is held is decided as it stands.
  int64_t GiveUpUs = 0;
  static SplitterTiming For(const LineFormat& format);
};

class FrameSplitter {
public:
  explicit FrameSplitter(SplitterTiming timing);

  // Bytes that arrived at `arrivedUs` (microseconds on any monotonic clock).
  void Feed(const uint8_t* data, size_t count, int64_t arrivedUs);
  // No bytes came until `nowUs`: a silence can end what is held.
  void Idle(int64_t nowUs);
  // The end of the stream: everything held is decided.
  void Finish();

  // The frames found since the last call, in line order.
  std::vector<SplitFrame> Take();
  // Bytes held undecided.
  size_t Held() const { return bytes_.size() - pos_; }
  const SplitterTiming& Timing() const { return timing_; }

private:
  enum class Reading : uint8_t { AnswerToRequest, Request, OpenRequest, Answer };
  struct Candidate {
    int32_t Length = 0;
    Reading Kind = Reading::Request;
  };

  void Split(bool final);
  // One decision at pos_; false when it must wait for more bytes.
  bool Step(bool final);
  FrameLengths KnownLengths(size_t at, Reading kind) const;
  bool CrcHolds(size_t at, size_t length) const;
  bool SilenceBefore(size_t index) const;
  bool CertainSilenceBefore(size_t index) const;
  bool LikelySilenceBefore(size_t index) const;
  bool FrameStartsAt(size_t at) const;  // a frame whose CRC holds
  size_t OpenLength(size_t at, size_t room, bool bounded, bool final = false, bool* pending = nullptr) const;
  bool FrameMayStartAt(size_t at) const;  // bytes from `at` may yet become a frame
  bool AnswerHeadAt(size_t at, size_t end) const;  // an answer to the frame at `at` begins at `end`
  bool Boundary(size_t end, bool final) const;
  int Support(size_t end, bool final) const;
  enum class BadAnswerFound : uint8_t { No, Yes, Wait };
  enum class Witness : uint8_t { Frame, Silence, Noise };  // of a bad answer's end
  size_t NoFrameUntil(size_t end, bool final, bool& wait) const;
  BadAnswerFound BadAnswer(bool final, size_t& length) const;
  int Rank(Reading kind, size_t length) const;
  bool Crosses(size_t length, bool final, bool& wait) const;
  bool SilenceInside(size_t length) const;
  size_t NextFrameAfterSilence() const;
  void Emit(SplitKind kind, size_t length, bool crcGood, bool toRequest);
  void EmitUnframed();
  void Compact();

  SplitterTiming timing_;
  std::vector<uint8_t> bytes_;
  std::vector<int64_t> endUs_;    // when each byte ended on the wire (estimated)
  std::vector<int64_t> chunkUs_;  // the arrival time of each byte's chunk
  std::vector<int64_t> earliestUs_;  // the earliest each byte can have ended
  int64_t lastEndUs_ = INT64_MIN;
  int64_t lastArrivalUs_ = INT64_MIN;
  size_t pos_ = 0;
  size_t unframedFrom_ = SIZE_MAX;  // the run of unframed bytes before pos_
  bool quietAtEnd_ = false;         // a silence follows the last byte held
  std::vector<uint8_t> request_;    // the request that waits for its answer
  bool lastWasRequest_ = false;     // the last frame found is a request
  std::vector<SplitFrame> found_;
};
