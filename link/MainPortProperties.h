// The property values stored for the main window's serial port: COM2, 9600
// baud, 8 data bits, two stop bits, no parity, no flow control, read
// time-outs of 100 ms between bytes and 1000 ms + 100 ms per byte in all.
#pragma once

class TCustomComPort;

void LoadMainPortProperties(TCustomComPort& port);
