#include "MonitorJson.h"

using nlohmann::ordered_json;

namespace {
ordered_json FrameJson(const MonitorFrame& frame, const MonitorSpan& span) {
  ordered_json out;
  out["t_us"] = frame.Us - span.OriginUs;
  out["time"] = span.Anchor.TimeOfDay(frame.Us);
  out["dir"] = frame.Direction == FrameDirection::Tx ? "tx" : "rx";
  out["hex"] = HexText(frame.Bytes);
  out["transaction"] = frame.Transaction;
  out["attempt"] = frame.Attempt;
  out["stage"] = frame.Stage;
  if (frame.Direction == FrameDirection::Rx && !frame.Chunks.empty()) {
    out["end_us"] = frame.Chunks.back().Us - span.OriginUs;
    out["chunks"] = frame.Chunks.size();
    if (frame.LatencyUs) out["latency_us"] = *frame.LatencyUs;
    if (frame.Chunks.size() > 1) out["gap_us"] = frame.LargestGapUs;
    if (frame.GapTooLong) out["gap_too_long"] = true;
    if (frame.BeforeRequest) out["before_request"] = true;
    if (frame.Chunks.front().Waiting) out["queued"] = true;
  }
  if (frame.AttemptResult) out["result"] = *frame.AttemptResult;
  return out;
}
}  // namespace

ordered_json LatencyJson(const std::optional<int64_t>& us) {
  return us ? ordered_json(UsToMs(*us)) : ordered_json(nullptr);
}

void AddMonitorJson(ordered_json& out, const MonitorSpan& span) {
  out["latency_ms"] = LatencyJson(span.GoodLatencyUs);
  out["discarded"] = span.DiscardedBytes;
  if (span.OmittedFrames > 0) out["frames_omitted"] = span.OmittedFrames;
  auto& frames = out["frames"] = ordered_json::array();
  for (const MonitorFrame& frame : span.Frames) frames.push_back(FrameJson(frame, span));
}
