// The key filters of the request and data entries, on 16-bit virtual-key
// codes (the code of the key, not the character it produces).
#pragma once

#include <cstdint>

enum class KeyVerdict { Accepted, Enter, Rejected };

enum : uint16_t {
  VkBack = 8,
  VkReturn = 13,
  VkShift = 16,
  VkControl = 17,
  VkCapital = 20,
  VkLeft = 37,
  VkRight = 39,
  VkDelete = 46,
  VkNumLock = 144,
};

// `hex` adds the letters A to F; Enter counts only on an entry holding text.
KeyVerdict ClassifyKey(uint16_t key, bool hex, bool entryEmpty);
