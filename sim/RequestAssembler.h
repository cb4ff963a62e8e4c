// The requests in the bytes received from the line, in order: each ends at
// the length its first bytes tell (RequestFraming.h) or, when they do not
// tell, at the silence after it. LineServer feeds the line through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class RequestAssembler {
public:
  void Add(const uint8_t* bytes, size_t count);
  bool Pending() const { return !received_.empty(); }

  // The next request whose length its first bytes tell, once all of it is in.
  std::optional<std::vector<uint8_t>> NextComplete();
  // The line fell silent: the request that this ends, if any byte is pending.
  std::optional<std::vector<uint8_t>> EndBySilence();

private:
  std::vector<uint8_t> Take(size_t count);
  std::vector<uint8_t> received_;
};
