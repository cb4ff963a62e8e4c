// The parameter databases of a device's modules, by module number. Byte 0 of
// a database is its module number; a database is 1..255 bytes long (its
// length travels as a byte count).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// What a module holds before anything was written to it.
std::vector<uint8_t> InitialDatabase(uint8_t module);

class ModuleDatabases {
public:
  static constexpr size_t kMaxLength = 255;

  // The database of `module`, which becomes the selected one; without a
  // module, the one selected last (module 1 at start).
  const std::vector<uint8_t>& Read(std::optional<uint8_t> module);

  // Stores a database for the module named in its byte 0 and selects that
  // module. False (nothing stored) when empty or longer than kMaxLength.
  bool Store(const std::vector<uint8_t>& database);

  uint8_t Selected() const { return selected_; }

private:
  std::vector<uint8_t>& Entry(uint8_t module);
  std::map<uint8_t, std::vector<uint8_t>> databases_;
  uint8_t selected_ = 1;
};
