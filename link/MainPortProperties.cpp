#include "MainPortProperties.h"

#include "ComPort.h"

void LoadMainPortProperties(TCustomComPort& port) {
  port.BeginLoading();
  port.SetPort("COM2");
  port.SetBaudRate(br9600);
  port.SetDataBits(dbEight);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prNone);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsDisable);
  port.Timeouts().SetReadInterval(100);
  port.Timeouts().SetReadTotalMultiplier(100);
  port.Timeouts().SetReadTotalConstant(1000);
  port.SetEvents(TComEvents::All());
  port.SetTriggersOnRxChar(true);
  port.Loaded();
}
