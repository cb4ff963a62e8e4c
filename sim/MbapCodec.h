// The simulator's own Modbus TCP framing (written apart from the tool's, so
// that each checks the other): requests are taken off the stream by the
// length their MBAP header announces and handed to the devices as RTU
// frames; answers go back with the request's header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct MbapRequest {
  uint16_t transaction = 0;
  uint16_t protocol = 0;
  std::vector<uint8_t> wire;  // the whole request as received
  std::vector<uint8_t> rtu;   // unit, PDU and a CRC: what a device on a line would get
};

class MbapAssembler {
public:
  void Add(const uint8_t* bytes, size_t count) { received_.insert(received_.end(), bytes, bytes + count); }
  // The next whole request; a header whose length cannot hold a function
  // code (or holds more than 260 bytes) is garbage: the stream is dropped.
  std::optional<MbapRequest> Next();
  bool Pending() const { return !received_.empty(); }

private:
  std::vector<uint8_t> received_;
};

// The answer to `request` in Modbus TCP framing: its header (with the next
// transaction identifier when `wrongTransaction`), the unit and the PDU of
// the RTU answer (its CRC left out). Answers shorter than 3 bytes go as they are.
std::vector<uint8_t> MbapAnswer(const MbapRequest& request, const std::vector<uint8_t>& rtuAnswer,
                                bool wrongTransaction);
