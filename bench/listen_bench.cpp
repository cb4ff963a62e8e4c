// The splitter and analyser of a heard line: how many seconds of a busy
// 115200-baud line they take in per second of CPU (goal: above 1000, so a
// listener never falls behind), and the delay from a frame's last byte to
// the moment the analyser completes it (the window shows it at its next
// refresh, at most TFormMonitor::kListenRefreshMs later).
//
// The line: a master polling three devices with reads of 10 registers,
// writes and an exception now and then, answers after 3.5 characters, the
// next request 2 ms after the answer; delivered in chunks as an adapter with
// its latency timer at 1 ms hands them over (a chunk per frame), and again
// in 16-byte chunks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "Crc16.h"
#include "LineAnalyser.h"

namespace {
std::vector<uint8_t> Framed(std::vector<uint8_t> bytes) {
  const uint16_t crc = Crc16(static_cast<int32_t>(bytes.size()), bytes.data());
  bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<uint8_t>(crc >> 8));
  return bytes;
}

struct Line {
  std::vector<uint8_t> Bytes;
  std::vector<int64_t> EndUs;
  std::vector<size_t> FrameEnds;  // index one past each frame
};

Line BusyLine(const LineFormat& format, int exchanges) {
  Line line;
  const int64_t character = CharacterTime(format).count() / 1000;
  const int64_t silence = InterFrameGap(format).count() / 1000;
  int64_t now = 0;
  auto lay = [&](const std::vector<uint8_t>& frame, int64_t gap) {
    now += gap;
    for (uint8_t b : frame) {
      now += character;
      line.Bytes.push_back(b);
      line.EndUs.push_back(now);
    }
    line.FrameEnds.push_back(line.Bytes.size());
  };
  std::vector<uint8_t> registers;
  for (int i = 0; i < 20; ++i) registers.push_back(static_cast<uint8_t>(i * 7));
  for (int i = 0; i < exchanges; ++i) {
    const auto address = static_cast<uint8_t>(1 + i % 3);
    if (i % 10 == 9) {
      const auto write = Framed({address, 6, 0, 1, 0, static_cast<uint8_t>(i)});
      lay(write, 2000);
      lay(write, silence);
    } else if (i % 25 == 24) {
      lay(Framed({address, 3, 4, 0, 0, 10}), 2000);
      lay(Framed({address, 0x83, 2}), silence);
    } else {
      lay(Framed({address, 3, 0, 0, 0, 10}), 2000);
      std::vector<uint8_t> answer = {address, 3, 20};
      answer.insert(answer.end(), registers.begin(), registers.end());
      lay(Framed(answer), silence);
    }
  }
  return line;
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void Run(const char* name, const Line& line, const LineFormat& format, size_t chunk) {
  LineAnalyser analyser(format, 1000);
  std::vector<int64_t> delays;
  int64_t fedUntilUs = 0;
  size_t nextEnd = 0;
  analyser.OnComplete = [&](const MonitorFrame& frame) {
    if (frame.Direction == FrameDirection::Unframed) return;
    while (nextEnd < line.FrameEnds.size() && line.EndUs[line.FrameEnds[nextEnd] - 1] < frame.Us) ++nextEnd;
    if (nextEnd < line.FrameEnds.size()) delays.push_back(fedUntilUs - line.EndUs[line.FrameEnds[nextEnd] - 1]);
  };
  const double start = CpuSeconds();
  size_t from = 0, frame = 0;
  while (from < line.Bytes.size()) {
    size_t to = chunk ? std::min(from + chunk, line.Bytes.size()) : line.FrameEnds[frame++];
    fedUntilUs = line.EndUs[to - 1];
    analyser.Feed(line.Bytes.data() + from, to - from, fedUntilUs);
    from = to;
  }
  analyser.Finish();
  const double cpu = CpuSeconds() - start;
  const double lineSeconds = line.EndUs.back() / 1e6;
  std::sort(delays.begin(), delays.end());
  std::printf("%-22s %8.0f line-s per CPU-s  (%.1f s of line in %.3f s CPU)", name, lineSeconds / cpu, lineSeconds, cpu);
  if (!delays.empty())
    std::printf("; last byte → frame complete: median %.2f ms, max %.2f ms", delays[delays.size() / 2] / 1000.0,
                delays.back() / 1000.0);
  std::printf("\n");
}
}  // namespace

int main() {
  const LineFormat format{115200, false, 2};
  const Line line = BusyLine(format, 200'000);
  Run("chunk per frame", line, format, 0);
  Run("16-byte chunks", line, format, 16);
  Run("1-byte chunks", line, format, 1);
  return 0;
}
