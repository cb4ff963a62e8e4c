// The port and the link of one modbus-cli run, set up from the options as
// the tool's main window sets up its own, and opened through OpenPort.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CapturingOperator.h"
#include "CliOptions.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "CliRun.h"
#include "LineQuiet.h"
#include "PortTable.h"

class CliLink {
public:
  explicit CliLink(const CliOptions& options);
  CliLink(const CliLink&) = delete;
  CliLink& operator=(const CliLink&) = delete;

  // OpenPort; false when the port stayed closed, with `outcome` saying why
  // (refused settings: result 132 and its report; a failing port: its boxes
  // and the serial component's text).
  bool Open(RunOutcome& outcome);

  int32_t DeviceIndex;  // the device number of the options minus 1
  TComPort Port;
  CapturingOperator Form;
  TComPortClass Link{Port, Form.LinkSide()};
  LineQuiet Quiet{Link};  // between the frames of a series
};

// "COM9 is in use by another program: minicom (pid 1234)".
std::string DescribePortUser(const std::string& port, const PortUser& user);

// Moves the boxes of `form` into `outcome` as the port's messages.
void TakePortMessages(CapturingOperator& form, RunOutcome& outcome);
