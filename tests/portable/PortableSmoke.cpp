// Windows smoke program of the portable layers, built by the MinGW cross
// build so that missing system libraries show up as link errors. Run by hand
// on Windows: lists the ports the registry reports, probes each, and opens the
// named port (default COM1) through the link, printing what happened.
#include <cstdio>
#include <string>

#include "ComPort.h"
#include "ComPortClass.h"
#include "EComPort.h"
#include "OperatorInterface.h"
#include "PortTable.h"

namespace {
class ConsoleOperator : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon,
                        MsgButtons) override {
    std::printf("[%s] %s\n", caption.c_str(), text.c_str());
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  void CloseMainWindow() override { std::printf("(main window closed)\n"); }
};
}  // namespace

int main(int argc, char** argv) {
  for (const PortInfo& port : ListSerialPorts()) {
    std::printf("%-6s %-14s %-20s %s\n", port.Name.c_str(), port.Device.c_str(),
                port.Description.c_str(), ProbePort(port.Name) ? "RS-232" : "not usable");
  }

  TComPort comPort;
  ConsoleOperator console;
  TComPortClass link(comPort, console);
  link.PortName = argc > 1 ? argv[1] : "COM1";
  try {
    const int result = link.OpenPort();
    std::printf("OpenPort(%s) = %d\n", link.PortName.c_str(), result);
    link.ClosePort();
    return result == 0 ? 0 : 1;
  } catch (const EComPort& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
}
