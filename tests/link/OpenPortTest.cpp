// Link settings applied to the port by OpenPort, and the port name rules.
#include <gtest/gtest.h>

#include "ComPort.h"
#include "ComPortClass.h"
#include "FakeOperator.h"
#include "MainPortProperties.h"
#include "RegisteredPty.h"

namespace {
// A pseudo-terminal reachable under a name that says "COM".
struct Line {
  RegisteredPty registered{7};
  std::string name = registered.Name();
  TComPort port;
  FakeOperator form;
  TComPortClass link{port, form};

  Line() {
    LoadMainPortProperties(port);
    link.PortName = name;
  }
};
}  // namespace

TEST(OpenPort, TheDefaultsOpenAtNineThousandSixHundredNoParityTwoStopBits) {
  Line l;
  l.port.SetBaudRate(br115200);
  l.port.SetStopBits(sbOneStopBit);
  EXPECT_EQ(l.link.OpenPort(), 0);
  EXPECT_TRUE(l.port.Connected());
  EXPECT_EQ(l.port.BaudRate(), br9600);
  EXPECT_EQ(l.port.Parity().Bits(), prNone);
  EXPECT_EQ(l.port.StopBits(), sbTwoStopBits);
  EXPECT_EQ(l.port.Port(), l.name);
  EXPECT_TRUE(l.form.boxes.empty());
  EXPECT_EQ(l.link.OpenPort(), 0) << "reopening an open port";
}

TEST(OpenPort, SettingsAreReadLenientlyAndCheckedInOrder) {
  struct Case {
    const char* baud;
    const char* parity;
    const char* stop;
    int32_t result;
    TBaudRate rate;
    TParityBits bits;
    TStopBits stopBits;
  };
  const Case cases[] = {
      {"9600x", "N", "2", 0, br9600, prNone, sbTwoStopBits},
      {"  19200", "E", "1", 0, br19200, prEven, sbOneStopBit},
      {"57600", "O", "1.5", 0, br57600, prOdd, sbOneStopBit},
      {"+115200", "N", "2", 0, br115200, prNone, sbTwoStopBits},
      {"14400", "N", "2", 0, br14400, prNone, sbTwoStopBits},
      {"56000", "N", "2", 0, br56000, prNone, sbTwoStopBits},
      {"128000", "N", "2", -1, br9600, prNone, sbTwoStopBits},
      {"256000", "N", "2", -1, br9600, prNone, sbTwoStopBits},
      {"", "N", "2", -1, br9600, prNone, sbTwoStopBits},
      {"19200", "e", "2", -1, br19200, prNone, sbTwoStopBits},
      {"19200", "", "2", -1, br19200, prNone, sbTwoStopBits},
      {"19200", "O", "3", -1, br19200, prOdd, sbTwoStopBits},
      {"19200", "O", "x", -1, br19200, prOdd, sbTwoStopBits},
  };
  for (const Case& c : cases) {
    Line l;
    ASSERT_EQ(l.link.OpenPort(), 0);
    l.link.BaudText = c.baud;
    l.link.ParityText = c.parity;
    l.link.StopBitsText = c.stop;
    EXPECT_EQ(l.link.OpenPort(), c.result) << c.baud << " " << c.parity << " " << c.stop;
    EXPECT_EQ(l.port.Connected(), c.result == 0) << "an invalid setting leaves the port closed";
    // The settings before the invalid one stay applied.
    EXPECT_EQ(l.port.BaudRate(), c.rate) << c.baud;
    EXPECT_EQ(l.port.Parity().Bits(), c.bits) << c.parity;
    EXPECT_EQ(l.port.StopBits(), c.stopBits) << c.stop;
    EXPECT_TRUE(l.form.boxes.empty());
  }
}

TEST(OpenPort, ThePortNameMustSayCOMOrCom) {
  Line l;
  ASSERT_EQ(l.link.OpenPort(), 0);
  for (const char* name : {"tty0", "Com3", "", "cOM1"}) {
    l.link.PortName = name;
    EXPECT_EQ(l.link.OpenPort(), -1) << name;
    EXPECT_FALSE(l.port.Connected()) << name;
    EXPECT_EQ(l.port.Port(), l.name) << "a refused name is not handed to the port";
  }
  EXPECT_TRUE(l.form.boxes.empty());
}

TEST(OpenPort, APortThatWillNotOpenIsReportedAndClosesTheMainWindow) {
  TComPort port;
  FakeOperator form;
  TComPortClass link(port, form);
  link.PortName = "COM98765";  // long names are kept whole
  EXPECT_THROW(link.OpenPort(), EComPort) << "the second open's error reaches the caller";
  ASSERT_EQ(form.boxes.size(), 1u);
  EXPECT_EQ(form.boxes[0].text, "COM-порт отключен. Проверьте оборудование, перезапустите программу.");
  EXPECT_EQ(form.boxes[0].caption, "Ошибка");
  EXPECT_EQ(form.boxes[0].icon, MsgIcon::Error);
  EXPECT_EQ(form.boxes[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(form.mainWindowClosed, 1);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Port(), "COM98765");
  EXPECT_EQ(link.BaudText, "9600") << "the long name spilled into nothing";
  EXPECT_EQ(link.ParityText, "N");
}

TEST(LinkSettings, ConstructorDefaultsAndSetters) {
  TComPort port;
  FakeOperator form;
  TComPortClass link(port, form);
  EXPECT_EQ(link.BaudText, "9600");
  EXPECT_EQ(link.ParityText, "N");
  EXPECT_EQ(link.StopBitsText, "2");
  EXPECT_EQ(link.PortName, "COM1");
  EXPECT_EQ(link.Repeats1, 5);
  EXPECT_EQ(link.Repeats2, 10);
  EXPECT_EQ(link.WritePollCount, 5);
  EXPECT_EQ(link.GetTxDelay(), 25);
  EXPECT_EQ(link.GetRxDelay(), 20);
  EXPECT_EQ(link.FrameLen + link.DataLen + link.AnswerLen + link.ByteCount, 0);
  link.SetRepeats1(1);
  link.SetRepeats2(1);
  link.SetTxDelay(3);
  link.SetRxDelay(4);
  EXPECT_EQ(link.Repeats1, 1);
  EXPECT_EQ(link.Repeats2, 1);
  EXPECT_EQ(link.GetTxDelay(), 3);
  EXPECT_EQ(link.GetRxDelay(), 4);
  EXPECT_EQ(LenientToInt(" -12ab"), -12);
  EXPECT_EQ(LenientToInt("x12"), 0);
  EXPECT_EQ(LenientToInt("99999999999"), 2147483647);
}

TEST(LinkSettings, ClosePortSwallowsAndIsHarmlessWhenClosed) {
  Line l;
  l.link.ClosePort();
  ASSERT_EQ(l.link.OpenPort(), 0);
  l.link.ClosePort();
  EXPECT_FALSE(l.port.Connected());
  l.link.ClosePort();
  EXPECT_TRUE(l.form.boxes.empty());
}
