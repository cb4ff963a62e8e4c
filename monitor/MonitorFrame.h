// One line of the traffic monitor: a request written, an answer received
// (the chunks of one attempt's reads), or bytes a purge threw away, with the
// transaction, attempt and stage it belongs to and what the timing says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class FrameDirection : uint8_t {
  Tx,        // a request (one completed write)
  Rx,        // an answer: what one attempt's reads took from the line
  Discarded,  // bytes nobody read, thrown away by a purge (their count only)
  Unframed    // listening: bytes heard on the line that belong to no frame
};

// How the frame travelled: on a serial line, or over TCP to a device server
// (RTU frames as on the line) or a Modbus TCP device (MBAP header, no CRC).
// Over TCP the times are round trips through the network, not line times.
enum class FrameTransport : uint8_t { Line, RtuOverTcp, ModbusTcp };

// When a received chunk was taken from the driver.
struct ChunkTime {
  int64_t Us = 0;         // monotonic microseconds
  uint16_t Count = 0;
  bool Waiting = false;   // already queued when the read began: it came earlier
};

struct MonitorFrame {
  uint64_t Seq = 0;          // running number, never reused
  int64_t Us = 0;            // monotonic µs: write completion (Tx), first chunk (Rx), purge
  FrameDirection Direction = FrameDirection::Tx;
  FrameTransport Transport = FrameTransport::Line;
  std::vector<uint8_t> Bytes;
  int DiscardedCount = 0;    // Discarded: how many bytes
  std::vector<ChunkTime> Chunks;  // Rx: every chunk

  uint64_t Transaction = 0;  // 0: outside any transaction of the link
  int Attempt = 0;           // 1, 2, ... within the transaction
  int Stage = 1;             // Tx: 1; Rx: 2 once its head was good and the rest was read for
  int Stage1Try = 1, Stage2Try = 1;  // which try of each stage the attempt was
  uint8_t Address = 0, Code = 0;     // of the transaction's request

  // Filled in when the attempt ends.
  std::optional<int32_t> AttemptResult;      // on the attempt's last frame
  std::optional<int32_t> TransactionResult;  // on the transaction's last frame
  std::optional<int64_t> LatencyUs;  // Rx: first byte after the request's write completed
  bool LatencyAtMost = false;        // Rx: its first bytes were queued before anyone looked:
                                     // they came earlier, by an unknown time
  int64_t LargestGapUs = 0;          // Rx: the largest time between two chunks
  bool GapTooLong = false;           // Rx: that gap is above 1.5 character times
  bool BeforeRequest = false;        // Rx: bytes were queued before the request went out
  bool Complete = false;             // nothing will change in it any more
  bool TooSoon = false;              // Rx, listening: it began before 3.5 characters of silence
  std::string Note;                  // whose frame it is, when not the link's (the device finder's)
};
