// The program's windows with the main window's port open on the simulated
// device (served in-process), its read time-outs and line delays short.
#pragma once

#include <memory>

#include "LinkRig.h"
#include "Ob_TModBCl.h"
#include "RunningSim.h"
#include "UiTestApp.h"

class SimWindowTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    TForm1& f = Form();
    OpenWithShortTimeouts(f.ComPort1, sim.SlavePath());
    f.Link.SetTxDelay(1);
    f.Link.SetRxDelay(1);
  }

  // Moves the main window's port to a device of its own, set up with `options`.
  RunningSim& ReopenOn(const SimOptions& options) {
    own_ = std::make_unique<RunningSim>(options);
    Form().ComPort1.Close();
    Form().ComPort1.SetPort(own_->SlavePath());
    Form().ComPort1.Open();
    return *own_;
  }

  RunningSim sim;

private:
  std::unique_ptr<RunningSim> own_;
};
