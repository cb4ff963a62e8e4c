#include "ModuleDatabases.h"

std::vector<uint8_t> InitialDatabase(uint8_t module) {
  std::vector<uint8_t> database(32 + 8 * (module % 8));
  database[0] = module;
  for (size_t i = 1; i < database.size(); ++i) database[i] = static_cast<uint8_t>(module * 16 + i);
  return database;
}

std::vector<uint8_t>& ModuleDatabases::Entry(uint8_t module) {
  auto it = databases_.find(module);
  if (it == databases_.end()) it = databases_.emplace(module, InitialDatabase(module)).first;
  return it->second;
}

const std::vector<uint8_t>& ModuleDatabases::Read(std::optional<uint8_t> module) {
  if (module) selected_ = *module;
  return Entry(selected_);
}

bool ModuleDatabases::Store(const std::vector<uint8_t>& database) {
  if (database.empty() || database.size() > kMaxLength) return false;
  selected_ = database[0];
  Entry(selected_) = database;
  return true;
}
