// GetCommProperties answers on a handle opened with access 0, as the port
// dialog probes ports without taking them for reading or writing.
#include "WineLimit.h"

int main(int argc, char** argv) {
  const DemonstrationPort line(argc, argv);
  const HANDLE probe = OpenComPort(line.name, 0, FILE_ATTRIBUTE_NORMAL);
  COMMPROP properties{};
  const bool answered = GetCommProperties(probe, &properties);
  const DWORD error = GetLastError();
  CloseHandle(probe);
  const std::string seen =
      answered ? "answered, provider subtype " + std::to_string(properties.dwProvSubType)
               : "refused, error " + std::to_string(error);
  return Verdict(answered, "answered, provider subtype 1 (RS-232)", seen.c_str());
}
