// How long a request frame is, computed from its first bytes as the tool
// lays its requests out; frames whose length the bytes do not tell (code 69,
// unknown codes) end with the line's silence.
#pragma once

#include <cstddef>
#include <cstdint>

// The byte count at which the frame that begins with `bytes` is complete,
// or 0 when only silence can end it (so far). Codes 68 and 70 come in two
// lengths: the longer one completes at once, the shorter one by silence.
size_t CompleteRequestLength(const uint8_t* bytes, size_t count);

// Where a frame ended by silence really ends: all of it when its CRC is good;
// otherwise, for two frames that reached the line without a gap (a 69 and
// the 14 after it), the shortest start (4 bytes or more) with a good CRC whose
// rest is a frame with a good CRC, else the shortest start with a good CRC;
// all of it when there is none.
size_t SilenceFrameLength(const uint8_t* bytes, size_t count);
