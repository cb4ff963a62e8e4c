// The trend's own poll list: requests to several devices on one port, run
// in turn on the main window's link, one transaction at a time, so that
// their values share one time axis. Only requests that read (whatever a
// device answers to them, it is not changed by them) are taken: a list runs
// for hours, and nothing is written that the engineer did not ask for once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TComPortClass;

struct PollEntry {
  uint8_t Device = 1;  // the address, 1..247
  uint8_t Code = 3;
  std::vector<uint8_t> Data;  // after the code: "00 00 00 0A" reads registers 0 to 9
  bool operator==(const PollEntry&) const = default;
};

// An entry from the texts of its three cells; nothing, with the reason in
// Russian for the window, when one is not right.
std::optional<PollEntry> ParsePollEntry(const std::string& device, const std::string& code,
                                        const std::string& data, std::string& error);

// One entry's transaction on `link` (its followers see it like any other); the result.
int32_t RunPollEntry(TComPortClass& link, const PollEntry& entry);

// Which entry is next: a cycle runs every entry once, in order. A cycle due
// while the last one is still under way is missed, not made up.
class PollCycle {
public:
  void SetEntries(std::vector<PollEntry> entries);
  const std::vector<PollEntry>& Entries() const { return entries_; }
  // A new cycle from the first entry; false when one is under way or the list is empty.
  bool Begin();
  // The next entry of the cycle under way; nothing when it is done.
  std::optional<PollEntry> Next();
  bool UnderWay() const { return next_ < entries_.size(); }
  uint64_t Cycles() const { return cycles_; }
  uint64_t Missed() const { return missed_; }
  void Stop() { next_ = entries_.size(); }

private:
  std::vector<PollEntry> entries_;
  size_t next_ = 0;
  uint64_t cycles_ = 0, missed_ = 0;
};
