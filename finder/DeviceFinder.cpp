#include "DeviceFinder.h"

#include <algorithm>
#include <cmath>

#include "ComLink.h"
#include "ComPort.h"

// Watches the port for when the probe went out and its answer's first byte came.
class DeviceFinder::ArrivalWatch : public TComLink {
public:
  void Reset() {
    sent_.reset();
    firstByte_.reset();
  }
  std::optional<double> LatencyMs() const {
    if (!sent_ || !firstByte_) return std::nullopt;
    return std::chrono::duration<double, std::milli>(*firstByte_ - *sent_).count();
  }
  std::optional<TimePoint> Sent() const { return sent_; }
  void TxBuf(const uint8_t*, int, TimePoint done, int) override { sent_ = done; }
  void RxBuf(const uint8_t*, int, TimePoint arrived, bool) override {
    if (!firstByte_) firstByte_ = arrived;
  }
  void RxEnded(int, int, TimePoint) override {}
  void Purged(int) override {}

private:
  std::optional<TimePoint> sent_, firstByte_;
};

namespace {
TBaudRate RateOf(int baud) {
  for (int r = br110; r <= br256000; ++r)
    if (BaudRateValue(static_cast<TBaudRate>(r)) == baud) return static_cast<TBaudRate>(r);
  return brCustom;
}

LineFormat FormatOf(const LineSetting& setting) {
  return {setting.Baud, setting.Frame.Parity != 'N', setting.Frame.StopBits};
}
}  // namespace

DeviceFinder::DeviceFinder(TCustomComPort& port, ScanPlan plan)
    : port_(port), plan_(std::move(plan)), settings_(SweepOrder(plan_)), watch_(std::make_unique<ArrivalWatch>()) {
  addressesOnly_ = IsNetworkKind(port_.PortKind());
  modbusTcp_ = port_.PortKind() == EndpointKind::ModbusTcp;
  if (addressesOnly_ && settings_.size() > 1) settings_.resize(1);
  planned_ = settings_.size() * plan_.Addresses.size();
  port_.RegisterLink(watch_.get());
  port_.AllowReads();  // a cancel of an earlier sweep on this port is no cancel of this one
}

DeviceFinder::~DeviceFinder() {
  port_.AllowReads();  // the port's reads wait again, for whoever uses it next
  port_.UnRegisterLink(watch_.get());
}

void DeviceFinder::Cancel() {
  cancelled_ = true;
  port_.CancelReads();  // a probe may wait seconds for its answer (the margin)
}

bool DeviceFinder::Done() const {
  return cancelled_ || plan_.Addresses.empty() || setting_ >= settings_.size();
}

std::chrono::milliseconds DeviceFinder::TimeoutAt(const LineSetting& setting) const {
  return FirstByteTimeout(plan_.Probe, FormatOf(setting), plan_.MarginMs);
}

void DeviceFinder::SetReadTimeout(std::chrono::milliseconds total) {
  port_.Timeouts().SetReadTotalConstant(static_cast<int>(total.count()));
}

std::chrono::milliseconds DeviceFinder::Remaining() const {
  if (Done()) return {};
  std::chrono::milliseconds left{0};
  const size_t lastSetting = stayAt_ ? setting_ + 1 : settings_.size();
  for (size_t s = setting_; s < lastSetting; ++s) {
    const size_t probes = plan_.Addresses.size() - (s == setting_ ? address_ : 0);
    left += TimeoutAt(settings_[s]) * static_cast<long>(probes);
  }
  return left;
}

void DeviceFinder::Apply(const LineSetting& setting) {
  if (RateOf(setting.Baud) == brCustom) port_.SetCustomBaudRate(setting.Baud);
  port_.SetBaudRate(RateOf(setting.Baud));
  port_.Parity().SetBits(setting.Frame.Parity == 'E' ? prEven : setting.Frame.Parity == 'O' ? prOdd : prNone);
  port_.SetStopBits(setting.Frame.StopBits == 1 ? sbOneStopBit : sbTwoStopBits);
  // A pause inside an answer ends the read only when it is longer than a USB
  // adapter's burst delay; the totals are set for each read.
  const auto gap = std::chrono::ceil<std::chrono::milliseconds>(InterFrameGap(FormatOf(setting)));
  port_.Timeouts().SetReadInterval(static_cast<int>(std::max<long long>(gap.count(), 20)));
  port_.Timeouts().SetReadTotalMultiplier(0);
  applied_ = setting;
}

void DeviceFinder::SendProbe(const std::vector<uint8_t>& frame) {
  if (modbusTcp_)
    tcpFraming_.Send(port_, frame.data(), static_cast<int32_t>(frame.size()));
  else
    port_.Write(frame.data(), static_cast<int>(frame.size()));
}

int DeviceFinder::ReadAnswer(uint8_t* place, int count) {
  return modbusTcp_ ? tcpFraming_.Read(port_, place, count) : port_.Read(place, count);
}

std::optional<ProbeResult> DeviceFinder::Step() {
  if (Done()) return std::nullopt;
  ProbeResult result;
  result.Setting = settings_[setting_];
  result.Address = plan_.Addresses[address_];
  if (applied_ != result.Setting) Apply(result.Setting);

  result.Request = ProbeFrame(result.Address, plan_.Probe);
  std::vector<uint8_t> answer(static_cast<size_t>(ExpectedAnswerLength(plan_.Probe)));
  port_.ClearBuffer(true, true);
  watch_->Reset();
  SendProbe(result.Request);
  // The first byte, then the rest: a silent address costs only the first wait.
  SetReadTimeout(TimeoutAt(result.Setting));
  int got = ReadAnswer(answer.data(), 1);
  if (got == 1 && answer.size() > 1) {
    SetReadTimeout(AnswerTimeout(plan_.Probe, FormatOf(result.Setting), plan_.MarginMs));
    got += std::max(ReadAnswer(answer.data() + 1, static_cast<int>(answer.size()) - 1), 0);
  }
  // Cut short, the probe heard only part of what it waited for: it says nothing.
  if (cancelled_) return std::nullopt;
  answer.resize(static_cast<size_t>(std::max(got, 0)));
  result.Answer = std::move(answer);
  result.LatencyMs = watch_->LatencyMs();
  result.Sent = watch_->Sent();
  const ProbeVerdict verdict = ClassifyAnswer(result.Address, plan_.Probe, result.Answer);
  // A Modbus TCP answer of another request is noise, whatever it holds.
  result.Kind = modbusTcp_ && tcpFraming_.HeaderMismatched() ? ProbeKind::Noise : verdict.Kind;
  result.ExceptionCode = verdict.ExceptionCode;
  ++done_;

  // On to the next address, and past the last to the next setting.
  if (++address_ == plan_.Addresses.size()) {
    address_ = 0;
    ++setting_;
    if (stayAt_) setting_ = settings_.size();  // the first device's setting is done
  }
  if (result.DevicePresent()) {
    devices_.push_back(result);
    if (plan_.Stop == StopRule::FirstDevice) setting_ = settings_.size();
    if (plan_.Stop == StopRule::FirstSetting && !stayAt_) {
      stayAt_ = result.Setting;
      if (address_ == 0) setting_ = settings_.size();  // it was the setting's last address
    }
  }
  planned_ = Done() ? done_ : done_ + (stayAt_ ? plan_.Addresses.size() - address_
                                               : (settings_.size() - setting_) * plan_.Addresses.size() - address_);
  return result;
}
