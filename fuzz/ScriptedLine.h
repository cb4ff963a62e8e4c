// A device on the fake serial line whose every move comes from the fuzz
// input: what it answers to each frame written (nothing, raw bytes, a
// well-formed answer or exception, an echo; a bad CRC, a foreign code, cut
// short), how many of the queued bytes each read gets before its time-out,
// and failures of the port itself. It records what was written.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "FakeSerialLine.h"
#include "FuzzInput.h"

class ScriptedLine : public FakeSerialLine {
public:
  explicit ScriptedLine(FuzzInput& input);
  ~ScriptedLine() override;
  ScriptedLine(const ScriptedLine&) = delete;
  ScriptedLine& operator=(const ScriptedLine&) = delete;

  int Read(uint8_t* buffer, int count) override;
  int Write(const uint8_t* bytes, int count) override;
  void Purge(uint32_t flags) override;
  int InputCount() override { return static_cast<int>(queued_.size()); }

  // Bytes already waiting in the receive queue, as a line left them.
  void Queue(const std::vector<uint8_t>& bytes) { queued_.insert(queued_.end(), bytes.begin(), bytes.end()); }
  // The purge after `skipped` more raises the port's failure (-1: none does).
  void FailPurge(int skipped) { purgesBeforeFailure_ = skipped; }
  // Forgets what was written, purged and read so far (not what is queued).
  void ClearRecords() {
    Writes.clear();
    Purges.clear();
    Reads = 0;
    FailedPurges = 0;
    PurgedBeforeFirstWrite = false;
  }

  std::vector<std::vector<uint8_t>> Writes;
  std::vector<uint32_t> Purges;  // the flags of each purge, in order
  int Reads = 0;
  int FailedPurges = 0;
  // Whether the first thing done on the line was a purge of both queues.
  bool PurgedBeforeFirstWrite = false;

private:
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& frame);

  FuzzInput& input_;
  std::deque<uint8_t> queued_;
  int purgesBeforeFailure_ = -1;
};
