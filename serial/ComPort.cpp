#include "ComPort.h"

#include <algorithm>

#include "ComThread.h"
#include "NetworkDevice.h"
#include "SerialDevice.h"

// --- sub-objects: a change is stored and, the port being attached, applied ---

void TComParity::Changed() {
  if (port_) port_->ApplyDCB();
}
void TComParity::SetBits(TParityBits value) {
  if (bits_ == value) return;
  bits_ = value;
  Changed();
}
void TComParity::SetCheck(bool value) {
  if (check_ == value) return;
  check_ = value;
  Changed();
}
void TComParity::SetReplace(bool value) {
  if (replace_ == value) return;
  replace_ = value;
  Changed();
}
void TComParity::SetReplaceChar(char value) {
  if (replaceChar_ == value) return;
  replaceChar_ = value;
  Changed();
}

void TComFlowControl::Changed() {
  if (port_) port_->ApplyDCB();
}

void TComTimeouts::Set(int& field, int value) {
  if (field == value) return;
  field = value;
  if (port_) port_->ApplyTimeouts();
}

void TComBuffer::Changed() {
  if (port_) port_->ApplyBuffer();
}
void TComBuffer::SetInputSize(int v) {
  if (inputSize_ == v) return;
  inputSize_ = v;
  Changed();
}
void TComBuffer::SetOutputSize(int v) {
  if (outputSize_ == v) return;
  outputSize_ = v;
  Changed();
}

// --- the port ---

TCustomComPort::TCustomComPort() : device_(std::make_unique<SerialDevice>()) {
  parity_.SetComPort(this);
  flowControl_.SetComPort(this);
  timeouts_.SetComPort(this);
  buffer_.SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (const EComPort&) {
    // A destructor cannot report; the handle is released by the device below.
  }
  StopEventThread();
}

void TCustomComPort::Loaded() {
  loading_ = false;
  if (!connected_) return;
  connected_ = false;
  try {
    Open();
  } catch (const EComPort& e) {
    if (OnLoadError) OnLoadError(e);
  }
}

void TCustomComPort::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetupComPort();
}

bool TCustomComPort::CanApply() const {
  return connected_ && updateCount_ == 0 && !designing_ && !loading_;
}

void TCustomComPort::Open() {
  if (connected_ || designing_) return;
  DoBeforeOpen();
  CreateHandle();
  connected_ = true;
  try {
    SetupComPort();
  } catch (...) {
    DestroyHandle();
    connected_ = false;
    throw;
  }
  if (events_.Empty())
    threadCreated_ = false;
  else
    StartEventThread();
  DoAfterOpen();
  const ModemStatus cts = device_->GetModemStatus();
  DoCTSChange(cts.CTS);
  const ModemStatus dsr = device_->GetModemStatus();
  DoDSRChange(dsr.DSR);
  const ModemStatus rlsd = device_->GetModemStatus();
  DoRLSDChange(rlsd.RLSD);
}

void TCustomComPort::Close() {
  if (!connected_ || designing_) return;
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  device_->Purge(PurgeTxAbort | PurgeRxAbort);
  StopEventThread();
  DestroyHandle();
  ForgetArrivals();
  connected_ = false;
  DoAfterClose();
}

void TCustomComPort::StartEventThread() {
  thread_ = std::make_unique<TComThread>(*this);
  threadCreated_ = true;
}

void TCustomComPort::StopEventThread() {
  if (!threadCreated_) return;
  thread_.reset();  // returns once the thread has ended
  threadCreated_ = false;
}

void TCustomComPort::CreateHandle() {
  // The backend follows the name: a network endpoint gets a connection, every
  // other name the operating system's serial device. Links stay attached.
  const bool network = IsNetworkKind(portKind_) || HasNetworkScheme(port_);
  if (network != networkDevice_ || network) {
    std::unique_ptr<PortDevice> device;
    if (network) device = std::make_unique<NetworkDevice>(connectTimeoutMs_);
    else device = std::make_unique<SerialDevice>();
    if (!links_.empty()) device->SetChunkSink(ChunkSinkForLinks());
    device_ = std::move(device);
    networkDevice_ = network;
  }
  device_->Open(port_);
}
void TCustomComPort::DestroyHandle() { device_->Close(); }

void TCustomComPort::SetupComPort() {
  ApplyBuffer();
  ApplyDCB();
  ApplyTimeouts();
}

LineSettings TCustomComPort::BuildLineSettings() const {
  LineSettings s;
  s.BaudRate = static_cast<uint32_t>(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
  uint32_t flags = DcbBinary;
  if (discardNull_) flags |= DcbNull;
  if (flowControl_.OutCTSFlow()) flags |= DcbOutxCtsFlow;
  if (flowControl_.OutDSRFlow()) flags |= DcbOutxDsrFlow;
  flags |= static_cast<uint32_t>(flowControl_.ControlDTR()) << 4;
  flags |= static_cast<uint32_t>(flowControl_.ControlRTS()) << 12;
  if (flowControl_.XonXoffOut()) flags |= DcbOutX;
  if (flowControl_.XonXoffIn()) flags |= DcbInX;
  if (flowControl_.DSRSensitivity()) flags |= DcbDsrSensitivity;
  if (flowControl_.TxContinueOnXoff()) flags |= DcbTxContinueOnXoff;
  const bool replace = parity_.Check() && parity_.Replace();
  if (parity_.Check()) {
    flags |= DcbParity;
    if (parity_.Replace()) flags |= DcbErrorChar;
  }
  s.Flags = flags;
  s.XonLim = static_cast<uint16_t>(buffer_.InputSize() / 4);
  s.XoffLim = s.XonLim;
  s.ByteSize = static_cast<uint8_t>(5 + dataBits_);
  s.Parity = static_cast<uint8_t>(parity_.Bits());
  s.StopBits = static_cast<uint8_t>(stopBits_);
  s.XonChar = flowControl_.XonChar();
  s.XoffChar = flowControl_.XoffChar();
  s.ErrorChar = replace ? parity_.ReplaceChar() : 0;
  s.EvtChar = eventChar_;
  return s;
}

TimeoutValues TCustomComPort::BuildTimeouts() const {
  // -1 is the platform's MAXDWORD; every other value is passed unchanged.
  auto v = [](int ms) { return static_cast<uint32_t>(ms); };
  return {v(timeouts_.ReadInterval()), v(timeouts_.ReadTotalMultiplier()),
          v(timeouts_.ReadTotalConstant()), v(timeouts_.WriteTotalMultiplier()),
          v(timeouts_.WriteTotalConstant())};
}

void TCustomComPort::ApplyDCB() {
  if (CanApply()) device_->SetLineSettings(BuildLineSettings());
}
void TCustomComPort::ApplyTimeouts() {
  if (CanApply()) device_->SetTimeouts(BuildTimeouts());
}
void TCustomComPort::ApplyBuffer() {
  if (CanApply()) device_->SetupQueues(buffer_.InputSize(), buffer_.OutputSize());
}

void TCustomComPort::RegisterLink(TComLink* link) {
  if (!link || std::find(links_.begin(), links_.end(), link) != links_.end()) return;
  links_.push_back(link);
  if (links_.size() == 1) device_->SetChunkSink(ChunkSinkForLinks());
}

PortDevice::ChunkSink TCustomComPort::ChunkSinkForLinks() {
  return [this](const uint8_t* data, int count, TComLink::TimePoint when, bool waiting) {
    DeliverChunk(data, count, when, waiting);
  };
}

void TCustomComPort::UnRegisterLink(TComLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  if (links_.empty()) {
    device_->SetChunkSink({});
    ForgetArrivals();
  }
}

void TCustomComPort::ForgetArrivals() {
  arrivals_.clear();
  arrived_ = 0;
}

int TCustomComPort::QueuedForWatch() {
  // Null bytes the driver drops never reach a read: the counts would not match.
  if (links_.empty() || discardNull_ || !device_->IsOpen()) return -1;
  try {
    return device_->InputCount();
  } catch (const EComPort&) {
    return -1;  // the write or read that follows the wait meets the failure and reports it
  }
}

int TCustomComPort::BeginArrivalWatch() {
  const int queued = QueuedForWatch();
  if (queued < 0) return queued;
  if (queued < arrived_) ForgetArrivals();  // taken some other way: start afresh
  if (queued > arrived_) {
    arrivals_.push_back({queued - arrived_, std::nullopt});  // came before we looked: when is unknown
    arrived_ = queued;
  }
  return queued;
}

void TCustomComPort::NoteArrivals() {
  const int queued = QueuedForWatch();
  if (queued <= arrived_) return;
  arrivals_.push_back({queued - arrived_, std::chrono::steady_clock::now()});
  arrived_ = queued;
}

void TCustomComPort::DeliverChunk(const uint8_t* data, int count, TComLink::TimePoint when, bool waiting) {
  // A read that had to wait found the queue empty: whatever was noted is gone.
  if (!waiting) ForgetArrivals();
  while (count > 0 && !arrivals_.empty()) {
    Arrival& first = arrivals_.front();
    const int take = std::min(count, first.Count);
    for (TComLink* l : links_) l->RxBuf(data, take, first.When.value_or(when), !first.When);
    data += take;
    count -= take;
    arrived_ -= take;
    if ((first.Count -= take) == 0) arrivals_.pop_front();
  }
  if (count > 0)
    for (TComLink* l : links_) l->RxBuf(data, count, when, waiting);
}

int TCustomComPort::Read(void* buffer, int count) {
  if (!device_->IsOpen()) throw EComPort(CError_PortNotOpen, 0);
  const int received = device_->Read(buffer, count);
  readSincePurge_ = true;
  if (!links_.empty()) {
    const auto ended = std::chrono::steady_clock::now();
    for (TComLink* link : links_) link->RxEnded(count, received, ended);
  }
  // Asks for the bytes still queued. On Windows that is ClearCommError, which
  // also clears a pending line-error state; the POSIX backend only counts the
  // queue (FIONREAD) and clears nothing: there, only the error step of the
  // event thread (ClearErrors) reads the kernel's line-error counters. A
  // connection has no line errors to clear: nothing is asked of it.
  if (!networkDevice_) device_->InputCount();
  return received;
}

int TCustomComPort::Write(const void* buffer, int count) {
  if (!device_->IsOpen()) throw EComPort(CError_PortNotOpen, 0);
  if (links_.empty()) return device_->Write(buffer, count);
  // What is queued now came before the request. What comes while the write
  // waits for its last byte to leave is not looked at: its time is unknown
  // (the next watch, or the read, finds it queued).
  const int queued = BeginArrivalWatch();
  // Without a watch: right after an input purge with nothing read since, the
  // queue held nothing a moment ago, not worth a query.
  const int waiting = queued >= 0 ? queued : readSincePurge_ ? device_->InputCount() : 0;
  const int sent = device_->Write(buffer, count);
  const auto done = std::chrono::steady_clock::now();
  if (sent > 0)
    for (TComLink* link : links_) link->TxBuf(static_cast<const uint8_t*>(buffer), sent, done, waiting);
  return sent;
}

void TCustomComPort::ClearBuffer(bool input, bool output) {
  uint32_t flags = 0;
  if (input) flags |= PurgeRxClear;
  if (output) flags |= PurgeTxClear;
  // What a purge throws away is worth seeing (a late answer, noise); it is
  // counted only for someone who looks.
  const int discarded = input && !links_.empty() ? device_->InputCount() : 0;
  device_->Purge(flags);
  if (input) {
    readSincePurge_ = false;
    ForgetArrivals();
  }
  if (discarded > 0)
    for (TComLink* link : links_) link->Purged(discarded);
}

int TCustomComPort::InputCount() { return device_->InputCount(); }

void TCustomComPort::CancelReads() { device_->CancelReads(); }
void TCustomComPort::AllowReads() { device_->AllowReads(); }

void TCustomComPort::SetConnected(bool value) {
  if (designing_ || loading_) {
    connected_ = value;
    return;
  }
  if (value == connected_) return;
  if (value)
    Open();
  else
    Close();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  port_ = value;
  const auto endpoint = ParseEndpoint(value);
  portKind_ = endpoint ? endpoint->Kind : EndpointKind::SerialName;
  if (connected_ && !designing_ && !loading_) {
    Close();
    Open();
  }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value == baudRate_) return;
  baudRate_ = value;
  ApplyDCB();
}
void TCustomComPort::SetCustomBaudRate(int value) {
  if (value == customBaudRate_) return;
  customBaudRate_ = value;
  ApplyDCB();
}
void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  ApplyDCB();
}
void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  ApplyDCB();
}
void TCustomComPort::SetEventChar(char value) {
  if (value == eventChar_) return;
  eventChar_ = value;
  ApplyDCB();
}
void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discardNull_) return;
  discardNull_ = value;
  ApplyDCB();
}
void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == syncMethod_) return;
  if (connected_) throw EComPort(CError_ConnChangeProp, 0);
  syncMethod_ = value;
}
void TCustomComPort::SetEventThreadPriority(TThreadPriority value) {
  if (value == eventThreadPriority_) return;
  if (connected_) throw EComPort(CError_ConnChangeProp, 0);
  eventThreadPriority_ = value;
}

// --- event steps, in the order the line events are served ---

void TCustomComPort::CallEvents(TComEvents events) {
  if (events.Contains(evError)) DoError(device_->ClearErrors());
  if (events.Contains(evRxChar)) {
    const int count = device_->InputCount();
    if (count > 0) DoRxChar(count);
  }
  if (events.Contains(evTxEmpty)) DoTxEmpty();
  if (events.Contains(evBreak)) DoBreak();
  if (events.Contains(evRing)) DoRing();
  if (events.Contains(evCTS)) DoCTSChange(device_->GetModemStatus().CTS);
  if (events.Contains(evDSR)) DoDSRChange(device_->GetModemStatus().DSR);
  if (events.Contains(evRxFlag)) DoRxFlag();
  if (events.Contains(evRLSD)) DoRLSDChange(device_->GetModemStatus().RLSD);
  if (events.Contains(evRx80Full)) DoRx80Full();
}

// --- hooks: each calls the user handler when one is attached ---

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(); }
void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(); }
void TCustomComPort::DoCTSChange(bool on) { if (OnCTSChange) OnCTSChange(on); }
void TCustomComPort::DoDSRChange(bool on) { if (OnDSRChange) OnDSRChange(on); }
void TCustomComPort::DoError(uint32_t errors) { if (OnError) OnError(errors); }
void TCustomComPort::DoRLSDChange(bool on) { if (OnRLSDChange) OnRLSDChange(on); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(); }
