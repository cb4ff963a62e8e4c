// Modbus TCP framing, beside the RTU framing: the request the link builds
// (address, code, data, CRC) goes out as an MBAP header and the PDU, and an
// answer comes back into the RTU form the engine reads (address = unit
// identifier, PDU, a CRC computed here), so the engine, the answer display
// and the statistics work on one form.
//
// MBAP header, 7 bytes, big-endian: transaction identifier, protocol
// identifier (0), length (the bytes that follow it: unit and PDU), unit.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int32_t kMbapHeaderLen = 7;

// The Modbus TCP request for an RTU frame of `frameLen` bytes (address,
// code, data, two CRC bytes): header with `transaction` and unit = address,
// then code and data.
std::vector<uint8_t> WrapRtuFrame(uint16_t transaction, const uint8_t* rtuFrame, int32_t frameLen);

// Whether an answer's header belongs to the request: same transaction, protocol 0,
// same unit, and a length that holds at least a function code.
enum class MbapVerdict { Match, OtherTransaction, OtherProtocol, OtherUnit, BadLength };
MbapVerdict CheckAnswerHeader(const uint8_t* header, uint16_t transaction, uint8_t unit);

// The PDU length an answer's header announces (its length field less the unit byte).
int32_t AnnouncedPduLength(const uint8_t* header);

// An answer in RTU form: the unit, the PDU bytes received and, when the
// whole PDU is there, the CRC of the two.
std::vector<uint8_t> RtuFormOf(uint8_t unit, const uint8_t* pdu, int32_t received, bool whole);
