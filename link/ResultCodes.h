// What a transaction returns: 0, the device's own exception code (1..255),
// or one of the link's results. The two ranges meet: a device's exception 1
// reads as a refused code, its exception 130 as no answer (callers act on
// the value alone, as the operator's messages do).
#pragma once

#include <cstdint>

enum : int32_t {
  ResultOk = 0,
  ResultCodeRefused = 1,     // a function code the link does not send; nothing sent
  ResultReceiveError = 128,  // a foreign or wrongly counted answer, or one too long to hold
  ResultIncomplete = 129,    // the head or the rest came only in part
  ResultNoAnswer = 130,      // nothing came
  ResultCrcMismatch = 131,   // a whole answer whose CRC fails
  ResultPortNotOpened = 132, // the port could not be opened with the settings chosen
  ResultPortNotOpen = 256,   // no port open; nothing sent
};

// The device's exception 6: busy (storing a database, after a 69).
inline constexpr int32_t ExceptionDeviceBusy = 6;

// Whether a result is a device's exception code rather than one of the link's.
// (1 is both: the link's refusal is taken first.)
constexpr bool IsDeviceException(int32_t result) {
  return result > 1 && result <= 255 && result != ResultReceiveError && result != ResultIncomplete &&
         result != ResultNoAnswer && result != ResultCrcMismatch && result != ResultPortNotOpened;
}
