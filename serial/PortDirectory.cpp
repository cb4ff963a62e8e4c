#include "PortDirectory.h"
std::filesystem::path UserPortDirectory() { return {}; }
bool EnsureUserPortDirectory(std::string*) { return false; }
bool RegisterVirtualPort(int, const std::string&, std::string*) { return false; }
void UnregisterVirtualPort(int, const std::string&) {}
