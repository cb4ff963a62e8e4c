// Where a frame list comes from: the recorder of the link's own traffic,
// or the analyser of a line the tool only hears.
#pragma once

#include <cstdint>

#include "FrameRing.h"

class FrameSource {
public:
  virtual ~FrameSource() = default;
  virtual const FrameRing& Frames() const = 0;
  // Frames with a running number below this one will not change any more.
  virtual uint64_t CompleteBefore() const = 0;
};
