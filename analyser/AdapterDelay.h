// A USB serial adapter's own delay: it holds received bytes up to its
// latency_timer before handing them over, so a listener sees silences the
// adapter made, not the line. Where that delay exceeds the 3.5-character
// silence that ends a frame, inter-frame timing is the adapter's.
#pragma once

#include <string>

#include "RtuTiming.h"

// The port's latency_timer in milliseconds as the port table reads it, or
// -1 when it has none (no USB adapter, another system, unknown port).
int LatencyTimerOf(const std::string& port);

// True when a timer of `latencyMs` (above 1 ms) is longer than 3.5
// characters of `format`.
bool AdapterDelayHidesSilence(int latencyMs, const LineFormat& format);
