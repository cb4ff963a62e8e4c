#include "ListenMode.h"

#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>

#include "AdapterDelay.h"
#include "CaptureInput.h"
#include "Crc16.h"
#include "EComPort.h"
#include "FrameText.h"
#include "LineAnalyser.h"
#include "ListenStatisticsText.h"
#include "ListeningPort.h"
#include "PcapFile.h"
#include "StopSignals.h"
#include "StrToInt.h"

using nlohmann::ordered_json;

namespace {
constexpr int kUsageError = 2, kPortError = 3;
constexpr int kReadWaitMs = 50;

const char* DirectionWord(FrameDirection direction) {
  switch (direction) {
    case FrameDirection::Tx: return "request";
    case FrameDirection::Rx: return "answer";
    default: return "unframed";
  }
}

ordered_json FrameJson(const MonitorFrame& frame, const ClockAnchor& anchor, int64_t originUs) {
  ordered_json out;
  out["t_us"] = frame.Us - originUs;
  out["time"] = anchor.TimeOfDay(frame.Us);
  out["dir"] = DirectionWord(frame.Direction);
  out["hex"] = HexText(frame.Bytes);
  if (frame.Direction != FrameDirection::Unframed) {
    out["crc_ok"] = frame.Bytes.size() >= 4 &&
                    EndsWithItsCrc(static_cast<int32_t>(frame.Bytes.size()), frame.Bytes.data());
    out["address"] = frame.Address;
    out["function"] = frame.Code;
  }
  if (frame.Transaction) out["exchange"] = frame.Transaction;
  if (frame.AttemptResult) out["result"] = *frame.AttemptResult;
  if (frame.LatencyUs) out["latency_us"] = *frame.LatencyUs;
  if (frame.TooSoon) out["too_soon"] = true;
  if (frame.GapTooLong) out["gap_us"] = frame.LargestGapUs;
  if (!frame.Note.empty()) out["note"] = frame.Note;
  return out;
}

ordered_json SpreadJson(const SampleSummary& summary) {
  if (summary.Empty()) return nullptr;
  return {{"min", summary.Min() / 1000.0}, {"median", summary.Median() / 1000.0}, {"max", summary.Max() / 1000.0}};
}

ordered_json SummaryJson(const ListenStatistics& statistics) {
  ordered_json devices = ordered_json::array();
  for (const auto& [address, device] : statistics.Devices()) {
    ordered_json results = ordered_json::object();
    for (const auto& [result, count] : device.Results) results[std::to_string(result)] = count;
    devices.push_back({{"address", address},
                       {"requests", device.Requests},
                       {"good", device.Good},
                       {"results", results},
                       {"latency_ms", SpreadJson(device.LatencyUs)},
                       {"poll_period_ms", SpreadJson(device.PollPeriodUs)},
                       {"too_soon", device.TooSoon},
                       {"without_request", device.AnswersWithoutRequest}});
  }
  return devices;
}

std::string SummaryText(const ListenStatistics& statistics) {
  std::string text;
  auto row = [&](const ListenLine& line) {
    std::string out;
    for (const std::string& cell : line) out += (out.empty() ? "" : " | ") + cell;
    text += out + "\n";
  };
  row(ListenColumnTitles());
  for (const auto& [address, device] : statistics.Devices()) row(DescribeListenDevice(address, device));
  text += "unframed bytes: " + std::to_string(statistics.UnframedBytes()) + "\n";
  return text;
}

// Midnight today, for the times of day a CSV capture holds.
int64_t LocalMidnightUs() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  return static_cast<int64_t>(std::mktime(&local)) * 1'000'000;
}
}  // namespace

int RunListen(const CliOptions& options) {
  const int32_t baud = StrToInt(options.Baud);
  const LineFrame frame{options.Parity.empty() ? 'N' : options.Parity[0], StrToInt(options.Stop)};
  if (baud <= 0 || CheckLineFrame(frame) != FrameRefusal::None) {
    std::cerr << "modbus-cli: --listen: not a line setting: " << options.Baud << " " << frame.Name() << "\n";
    return kUsageError;
  }
  const LineFormat format = FormatOf(baud, frame);
  LineAnalyser analyser(format);
  const bool fromCapture = options.Has("--from-capture");
  ClockAnchor anchor = ClockAnchor::Now();

  PcapWriter capture;
  if (options.Has("--capture") && !capture.Open(options.CaptureFile)) {
    std::cerr << "modbus-cli: cannot write " << options.CaptureFile << "\n";
    return kPortError;
  }
  ordered_json frames = ordered_json::array();
  int64_t originUs = -1;
  const MonitorFrame* previous = nullptr;
  MonitorFrame last;
  analyser.OnComplete = [&](const MonitorFrame& heard) {
    if (originUs < 0) originUs = heard.Us;
    if (capture.Good()) capture.Write(anchor.SystemUs + (heard.Us - anchor.MonotonicUs), heard.Bytes);
    if (options.Json) {
      frames.push_back(FrameJson(heard, anchor, originUs));
    } else {
      std::cout << TextLine(DescribeFrame(heard, previous, anchor)) << std::endl;
    }
    last = heard;
    previous = &last;
  };

  bool interrupted = false;
  double seconds = 0;
  if (fromCapture) {
    std::vector<CapturedChunk> chunks;
    std::string error;
    if (!ReadCapture(options.FromCapture, format, chunks, error)) {
      std::cerr << "modbus-cli: " << error << "\n";
      return kPortError;
    }
    // The capture's own clock: since the epoch (pcap) or since midnight (CSV).
    const bool timeOfDay = !chunks.empty() && chunks.front().ArrivedUs < 86'400'000'000LL;
    anchor = ClockAnchor{0, timeOfDay ? LocalMidnightUs() : 0};
    for (const CapturedChunk& chunk : chunks) analyser.Feed(chunk.Bytes.data(), chunk.Bytes.size(), chunk.ArrivedUs);
    if (!chunks.empty()) seconds = (chunks.back().ArrivedUs - chunks.front().ArrivedUs) / 1e6;
  } else {
    ListeningPort port;
    try {
      port.Open(options.Port, baud, frame);
    } catch (const EComPort& e) {
      std::cerr << "modbus-cli: " << options.Port << ": " << e.what() << "\n";
      return kPortError;
    }
    const int latency = LatencyTimerOf(options.Port);
    if (AdapterDelayHidesSilence(latency, format))
      std::cerr << "modbus-cli: " << options.Port << ": the adapter's latency_timer is " << latency
                << " ms, longer than 3.5 characters: inter-frame timing is the adapter's, not the line's;"
                   " set it to 1 (see README.md)\n";
    const int64_t start = NowUs();
    const auto limitUs = static_cast<int64_t>(options.DurationS * 1e6);
    try {
      while (!StopSignals::Requested() && (limitUs <= 0 || NowUs() - start < limitUs)) {
        int64_t taken = 0;
        const std::vector<uint8_t> bytes = port.Read(kReadWaitMs, taken);
        if (bytes.empty()) {
          analyser.Idle(taken);
        } else {
          analyser.Feed(bytes.data(), bytes.size(), taken);
        }
      }
    } catch (const EComPort& e) {
      std::cerr << "modbus-cli: " << options.Port << ": " << e.what() << "\n";
    }
    interrupted = StopSignals::Requested();
    seconds = (NowUs() - start) / 1e6;
  }
  analyser.Finish();
  capture.Close();

  if (options.Json) {
    ordered_json out;
    out["frames"] = frames;
    out["summary"] = SummaryJson(analyser.Statistics());
    out["unframed_bytes"] = analyser.Statistics().UnframedBytes();
    out["duration_s"] = seconds;
    out["interrupted"] = interrupted;
    std::cout << out.dump(2) << std::endl;
  } else {
    std::cout << "\n" << SummaryText(analyser.Statistics());
  }
  return 0;
}
