#include "KeyFilter.h"

KeyVerdict ClassifyKey(uint16_t key, bool hex, bool entryEmpty) {
  if ((key >= '0' && key <= '9') || (key >= 96 && key <= 105)) return KeyVerdict::Accepted;
  switch (key) {
    case VkBack:
    case VkDelete:
    case VkShift:
    case VkControl:
    case VkLeft:
    case VkRight:
    case VkNumLock:
    case VkCapital:
      return KeyVerdict::Accepted;
    default:
      break;
  }
  if (hex && key >= 'A' && key <= 'F') return KeyVerdict::Accepted;
  if (key == VkReturn && !entryEmpty) return KeyVerdict::Enter;
  return KeyVerdict::Rejected;
}
