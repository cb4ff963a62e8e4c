// GetCommProperties answers on a handle opened with access 0, as the port
// dialog probes ports without taking them for reading or writing. With a
// port name as argument it probes that port (a COM port registered in the
// prefix, as the zip's click-through has); otherwise one the line host backs.
#include <memory>

#include "PtyPair.h"
#include "WineLimit.h"

int main(int argc, char** argv) {
  std::unique_ptr<PtyPair> line;
  std::string name;
  if (argc > 1) {
    name = argv[1];
  } else {
    line = std::make_unique<PtyPair>();
    name = line->SlavePath();
  }
  const HANDLE probe = OpenComPort(name, 0, FILE_ATTRIBUTE_NORMAL);
  COMMPROP properties{};
  const bool answered = GetCommProperties(probe, &properties);
  const DWORD error = GetLastError();
  CloseHandle(probe);
  const std::string seen =
      answered ? "answered, provider subtype " + std::to_string(properties.dwProvSubType)
               : "refused, error " + std::to_string(error);
  return Verdict(answered, "answered, provider subtype 1 (RS-232)", seen.c_str());
}
