// Time per transaction of the main window's link with "Монитор обмена" open
// and updating, against the same window with the monitor closed: 10-register
// reads from libmodbus's RTU server over a pseudo-terminal, with the events
// processed after each (so the monitor's timer runs and its list is drawn),
// in alternating rounds. Each time covers the transaction and the events
// after it; a round is long enough for the monitor's timer to fire a few
// times, and the processor time of the GUI thread per transaction, which
// other programs' load hardly touches, is shown beside the wall-clock times.
// Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Target: ratio (open / closed) of at most 1.05.
#include <QElapsedTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "AppWindows.h"
#include "FrameTableModel.h"
#include "LibmodbusServer.h"
#include "MonitorWindow.h"
#include "Ob_TModBCl.h"
#include "PtyPair.h"
#include "SilentOperator.h"
#include "TesterApplication.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRounds = 10;
constexpr int kPerRound = 1000;  // some 300 ms: the monitor's timer fires in it
constexpr int kWarmUp = 20;

void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Returns the GUI thread's processor time over the `count` transactions.
double Run(int count, std::vector<double>& times) {
  static const uint8_t data[4] = {0x00, 0x00, 0x00, 0x0A};
  uint8_t answer[300];
  const double cpu = ThreadCpuMs();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const int32_t result = Form1->Link.Transact(0, 3, 4, data, answer, sizeof answer);
    QCoreApplication::processEvents();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (result != 0) throw std::runtime_error("transaction failed: " + std::to_string(result));
  }
  return ThreadCpuMs() - cpu;
}

struct Summary {
  double mean, median, p99;
};
Summary Summarize(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const double sum = std::accumulate(times.begin(), times.end(), 0.0);
  return {sum / static_cast<double>(times.size()), times[times.size() / 2], times[times.size() * 99 / 100]};
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  SilentOperator boxes;
  int status = 0;
  try {
    CreateAppWindows(boxes);
    Form1->show();
    PtyPair pty;
    LibmodbusServer server{pty};
    Form1->ComPort1.SetPort(pty.SlavePath());
    pty.ReleaseSlave();
    Form1->ComPort1.Open();
    Form1->Link.SetTxDelay(1);
    Form1->Link.SetRxDelay(1);
    TFormMonitor& monitor = Form1->Monitor();

    std::vector<double> warmUp, closedTimes, openTimes;
    double closedCpu = 0, openCpu = 0;
    Run(kWarmUp, warmUp);
    for (int round = 0; round < kRounds; ++round) {
      Settle(50);
      closedCpu += Run(kPerRound, closedTimes);
      Form1->OpenMonitor();
      Settle(TFormMonitor::kRefreshMs / 2);  // shown and drawn once; its timer half way to a tick
      openCpu += Run(kPerRound, openTimes);
      Settle(2 * TFormMonitor::kRefreshMs);
      monitor.close();
    }
    const int shown = monitor.Model().rowCount();
    if (shown != 2 * kRounds * kPerRound)
      throw std::runtime_error("the monitor shows " + std::to_string(shown) + " lines");

    const Summary c = Summarize(closedTimes);
    const Summary o = Summarize(openTimes);
    std::printf("10-register reads over a pseudo-terminal by the main window's link, %d each,\n",
                kRounds * kPerRound);
    std::printf("events processed after each (%s platform)\n", qPrintable(QGuiApplication::platformName()));
    const double n = kRounds * kPerRound;
    std::printf("ms per transaction                 median    mean      99th percentile   GUI thread CPU\n");
    std::printf("monitor closed                     %.4f    %.4f    %.4f            %.4f\n", c.median, c.mean,
                c.p99, closedCpu / n);
    std::printf("monitor open and updating          %.4f    %.4f    %.4f            %.4f\n", o.median, o.mean,
                o.p99, openCpu / n);
    std::printf("ratio open / closed                %.3f     %.3f                       %.3f   (target <= 1.05)\n",
                o.median / c.median, o.mean / c.mean, openCpu / closedCpu);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "monitor_window_bench: %s\n", e.what());
    status = 1;
  }
  DestroyAppWindows();
  return status;
}
