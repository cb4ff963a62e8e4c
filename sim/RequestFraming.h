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
