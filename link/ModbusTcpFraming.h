// The link's side of Modbus TCP (MbapFrame.h): each request goes out with a
// new transaction identifier, and the answer to it is read whole, by the
// length its header announces, and handed to the engine in RTU form by the
// engine's own reads (head, then rest), so that those keep their meaning:
// nothing came (0), part came (short), all came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TCustomComPort;

class ModbusTcpFraming {
public:
  // Writes the RTU frame as a Modbus TCP request; returns what Write returned.
  int32_t Send(TCustomComPort& port, const uint8_t* rtuFrame, int32_t frameLen);
  // The next `count` bytes of the answer to the last request in RTU form,
  // reading it off the port at the first call; fewer when it came in part.
  int32_t Read(TCustomComPort& port, uint8_t* place, int32_t count);
  // Whether a whole MBAP header came that does not belong to the last
  // request (transaction, protocol, length or unit): a bad answer.
  bool HeaderMismatched() const { return mismatched_; }
  uint16_t LastTransaction() const { return transaction_; }

private:
  void Receive(TCustomComPort& port);

  uint16_t transaction_ = 0;
  uint8_t unit_ = 0;
  bool received_ = false;
  bool mismatched_ = false;
  std::vector<uint8_t> answer_;  // in RTU form
  size_t served_ = 0;
};
