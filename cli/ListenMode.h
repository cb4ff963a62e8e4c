// modbus-cli --listen: hears a line another master drives, through a port
// that is never written (or reads a capture, --from-capture), prints each
// frame as the traffic monitor shows it and a summary per address at the
// end; --capture writes what was heard as a pcap file.
#pragma once

#include "CliOptions.h"

int RunListen(const CliOptions& options);
