// The serial port component: properties, line settings, time-outs, blocking
// reads and writes, queue purges. Property setters only store while the port
// is closed and apply at once while it is open.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ComLink.h"
#include "ComTypes.h"
#include "EComPort.h"
#include "Endpoint.h"
#include "PortDevice.h"

class TCustomComPort;
class TComThread;

class TComParity {
public:
  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  char ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits value);
  void SetCheck(bool value);
  void SetReplace(bool value);
  void SetReplaceChar(char value);
  void SetComPort(TCustomComPort* port) { port_ = port; }

private:
  void Changed();
  TCustomComPort* port_ = nullptr;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = 0;
};

class TComFlowControl {
public:
  bool OutCTSFlow() const { return outCTSFlow_; }
  bool OutDSRFlow() const { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  char XonChar() const { return xonChar_; }
  char XoffChar() const { return xoffChar_; }
  void SetOutCTSFlow(bool v) { Set(outCTSFlow_, v); }
  void SetOutDSRFlow(bool v) { Set(outDSRFlow_, v); }
  void SetControlDTR(TDTRFlowControl v) { Set(controlDTR_, v); }
  void SetControlRTS(TRTSFlowControl v) { Set(controlRTS_, v); }
  void SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
  void SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
  void SetDSRSensitivity(bool v) { Set(dsrSensitivity_, v); }
  void SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }
  void SetXonChar(char v) { Set(xonChar_, v); }
  void SetXoffChar(char v) { Set(xoffChar_, v); }
  void SetComPort(TCustomComPort* port) { port_ = port; }

private:
  template <typename T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  void Changed();
  TCustomComPort* port_ = nullptr;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = 0x11;
  char xoffChar_ = 0x13;
};

// Milliseconds; -1 stands for the platform's MAXDWORD.
class TComTimeouts {
public:
  int ReadInterval() const { return readInterval_; }
  int ReadTotalMultiplier() const { return readTotalM_; }
  int ReadTotalConstant() const { return readTotalC_; }
  int WriteTotalMultiplier() const { return writeTotalM_; }
  int WriteTotalConstant() const { return writeTotalC_; }
  void SetReadInterval(int v) { Set(readInterval_, v); }
  void SetReadTotalMultiplier(int v) { Set(readTotalM_, v); }
  void SetReadTotalConstant(int v) { Set(readTotalC_, v); }
  void SetWriteTotalMultiplier(int v) { Set(writeTotalM_, v); }
  void SetWriteTotalConstant(int v) { Set(writeTotalC_, v); }
  void SetComPort(TCustomComPort* port) { port_ = port; }

private:
  void Set(int& field, int value);
  TCustomComPort* port_ = nullptr;
  int readInterval_ = -1;
  int readTotalM_ = 0;
  int readTotalC_ = 0;
  int writeTotalM_ = 100;
  int writeTotalC_ = 1000;
};

class TComBuffer {
public:
  int InputSize() const { return inputSize_; }
  int OutputSize() const { return outputSize_; }
  void SetInputSize(int v);
  void SetOutputSize(int v);
  void SetComPort(TCustomComPort* port) { port_ = port; }

private:
  void Changed();
  TCustomComPort* port_ = nullptr;
  int inputSize_ = 1024;
  int outputSize_ = 1024;
};

class TCustomComPort {
public:
  TCustomComPort();
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  void Open();
  void Close();
  int Read(void* buffer, int count);
  int Write(const void* buffer, int count);
  void ClearBuffer(bool input, bool output);
  int InputCount();
  // From any thread: a read under way ends at once with what it has, and so
  // do later reads' waits until AllowReads (SerialDevice.h).
  void CancelReads();
  void AllowReads();

  bool Connected() const { return connected_; }
  void SetConnected(bool value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  // What Port names: a serial port or device path, or a network endpoint
  // (Endpoint.h), which opens the network backend instead of the serial line.
  // Its kind is SerialName for a malformed network name, which then fails to open.
  EndpointKind PortKind() const { return portKind_; }
  // How long opening a network endpoint may take to connect, in milliseconds.
  int ConnectTimeout() const { return connectTimeoutMs_; }
  void SetConnectTimeout(int ms) { connectTimeoutMs_ = ms; }
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  int CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int value);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value);
  TComParity& Parity() { return parity_; }
  TComFlowControl& FlowControl() { return flowControl_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents value) { events_ = value; }
  char EventChar() const { return eventChar_; }
  void SetEventChar(char value);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool value);
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod value);  // code 14 while open
  TThreadPriority EventThreadPriority() const { return eventThreadPriority_; }
  void SetEventThreadPriority(TThreadPriority value);  // code 14 while open
  bool TriggersOnRxChar() const { return triggersOnRxChar_; }
  void SetTriggersOnRxChar(bool value) { triggersOnRxChar_ = value; }
  unsigned StoredProps() const { return storedProps_; }
  void SetStoredProps(unsigned value) { storedProps_ = value; }

  // Component states: while loading, setters only store (Loaded acts on Connected).
  bool Loading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void Loaded();
  bool Designing() const { return designing_; }
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

  // The line settings record that ApplyDCB hands to the system.
  LineSettings BuildLineSettings() const;
  TimeoutValues BuildTimeouts() const;
  bool EventThreadStarted() const { return threadCreated_; }

  // User handlers of the component's events; none is attached on the main window's port.
  std::function<void()> OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  std::function<void(int)> OnRxChar;
  std::function<void()> OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
  std::function<void(bool)> OnCTSChange, OnDSRChange, OnRLSDChange;
  std::function<void(uint32_t)> OnError;
  // Called with the exception text when Loaded cannot open the port.
  std::function<void(const EComPort&)> OnLoadError;

  // Linked components (ComLink.h): told of every write, read chunk and purge.
  // A link must be unregistered before it is destroyed.
  void RegisterLink(TComLink* link);
  void UnRegisterLink(TComLink* link);

  // For the links, while a caller busy-waits on this port (the link's delays
  // around a write): BeginArrivalWatch once, then NoteArrivals as often as the
  // wait spins. Bytes seen coming into the receive queue meanwhile reach the
  // links, when a read takes them, with the time they came rather than the
  // read's; bytes queued before the watch began keep the read's time and are
  // marked as waiting, as are bytes that came while a write waited for its
  // last byte to leave. Without links both return at once. BeginArrivalWatch
  // returns the bytes queued, or -1 when it watches nothing.
  int BeginArrivalWatch();
  void NoteArrivals();

  // Event steps run on the GUI thread for a batch of line events (see TComThread).
  void CallEvents(TComEvents events);
  PortDevice& Device() { return *device_; }

protected:
  virtual void CreateHandle();
  virtual void DestroyHandle();
  virtual void SetupComPort();
  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(int count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool on);
  virtual void DoDSRChange(bool on);
  virtual void DoError(uint32_t errors);
  virtual void DoRLSDChange(bool on);
  virtual void DoRx80Full();
  virtual void ApplyDCB();
  virtual void ApplyTimeouts();
  virtual void ApplyBuffer();

private:
  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;
  bool CanApply() const;
  void StartEventThread();
  void StopEventThread();
  PortDevice::ChunkSink ChunkSinkForLinks();

  std::unique_ptr<PortDevice> device_;
  bool networkDevice_ = false;  // which backend device_ is
  std::unique_ptr<TComThread> thread_;
  std::vector<TComLink*> links_;
  // Bytes in the receive queue by when they came (nullopt: before the watch
  // began), oldest first; a read takes them from the front.
  struct Arrival {
    int Count;
    std::optional<TComLink::TimePoint> When;
  };
  std::deque<Arrival> arrivals_;
  int arrived_ = 0;  // the bytes in arrivals_
  void ForgetArrivals();
  int QueuedForWatch();  // the receive queue's count, or -1 when nothing is watched
  void DeliverChunk(const uint8_t* data, int count, TComLink::TimePoint when, bool waiting);
  bool readSincePurge_ = true;  // for the links: has the input been read since it was last purged
  bool threadCreated_ = false;
  bool connected_ = false;
  bool loading_ = false;
  bool designing_ = false;
  int updateCount_ = 0;
  std::string port_ = "COM1";
  EndpointKind portKind_ = EndpointKind::SerialName;
  int connectTimeoutMs_ = 3000;
  TBaudRate baudRate_ = br9600;
  int customBaudRate_ = 9600;
  TDataBits dataBits_ = dbEight;
  TStopBits stopBits_ = sbOneStopBit;
  TComParity parity_;
  TComFlowControl flowControl_;
  TComTimeouts timeouts_;
  TComBuffer buffer_;
  TComEvents events_ = TComEvents::All();
  char eventChar_ = 0;
  bool discardNull_ = false;
  TSyncMethod syncMethod_ = smThreadSync;
  TThreadPriority eventThreadPriority_ = tpNormal;
  bool triggersOnRxChar_ = true;
  unsigned storedProps_ = 1u << spBasic;
};

// The component as placed on a window: properties loadable from the window's resource.
class TComPort : public TCustomComPort {};
