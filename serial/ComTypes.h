// Enumerations and small value types of the serial port component.
#pragma once

#include <cstdint>

enum TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TComEvent {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
enum TStoredProp { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };

// Line speed in bits per second for a TBaudRate (0 for brCustom).
int BaudRateValue(TBaudRate rate);

// A set of TComEvent, kept as one bit per ordinal.
class TComEvents {
public:
  constexpr TComEvents() = default;
  static constexpr TComEvents All() { return TComEvents(0x3FF); }
  constexpr bool Contains(TComEvent e) const { return (bits_ >> e) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TComEvents& Include(TComEvent e) { bits_ |= 1u << e; return *this; }
  constexpr TComEvents& Exclude(TComEvent e) { bits_ &= ~(1u << e); return *this; }
  constexpr bool operator==(const TComEvents&) const = default;
  // The event mask of the platform (EV_RXCHAR ...); all ten give 0x05FF.
  uint32_t ToMask() const;
  static TComEvents FromMask(uint32_t mask);

private:
  constexpr explicit TComEvents(uint16_t bits) : bits_(bits) {}
  uint16_t bits_ = 0;
};

// Queue purge flags, as the platform's PurgeComm takes them.
enum : uint32_t {
  PurgeTxAbort = 0x0001,
  PurgeRxAbort = 0x0002,
  PurgeTxClear = 0x0004,
  PurgeRxClear = 0x0008,
};

// The line settings record handed to the operating system (shaped like the DCB).
struct LineSettings {
  uint32_t BaudRate = 9600;
  uint32_t Flags = 0x0001;  // DCB flag bits: fBinary, fParity, fOutxCtsFlow, ...
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  bool operator==(const LineSettings&) const = default;
};

// DCB flag bits used in LineSettings::Flags.
enum : uint32_t {
  DcbBinary = 0x0001,
  DcbParity = 0x0002,
  DcbOutxCtsFlow = 0x0004,
  DcbOutxDsrFlow = 0x0008,
  DcbDtrControlMask = 0x0030,
  DcbDsrSensitivity = 0x0040,
  DcbTxContinueOnXoff = 0x0080,
  DcbOutX = 0x0100,
  DcbInX = 0x0200,
  DcbErrorChar = 0x0400,
  DcbNull = 0x0800,
  DcbRtsControlMask = 0x3000,
  DcbAbortOnError = 0x4000,
};

// Time-outs as handed to the operating system; 0xFFFFFFFF stands for MAXDWORD.
struct TimeoutValues {
  uint32_t ReadInterval = 0xFFFFFFFF;
  uint32_t ReadTotalMultiplier = 0;
  uint32_t ReadTotalConstant = 0;
  uint32_t WriteTotalMultiplier = 100;
  uint32_t WriteTotalConstant = 1000;
  bool operator==(const TimeoutValues&) const = default;
};

struct ModemStatus {
  bool CTS = false;
  bool DSR = false;
  bool Ring = false;
  bool RLSD = false;
};
