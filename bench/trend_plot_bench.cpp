// Drawing time of the trend's plot: 4 series of 1 000 000 points each into a
// 1600-pixel-wide image, as the window draws and exports it, against the
// same with 1000 points per series. Goal: under 16 ms a frame.
//
//   trend_plot_bench [--points N] [--series S] [--width W] [--frames F]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "SeriesStore.h"
#include "TrendPlot.h"

namespace {
struct Figures {
  double MedianMs, MaxMs;
  double ColumnsMs;  // of the median frame's kind: the per-column extremes alone
};

// A random walk with a spike now and then and a failed poll every 10 000 points.
void Fill(SeriesStore& store, size_t points, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> step(0.0, 1.0);
  double value = 0;
  for (size_t i = 0; i < points; ++i) {
    const int64_t us = static_cast<int64_t>(i) * 100'000;  // 10 polls a second
    if (i % 10'000 == 9'999) store.AddGap(us);
    value += step(random);
    store.Add(us, i % 250'000 == 123'456 ? value + 500 : value);
  }
}

Figures Time(size_t points, int series, int width, int frames) {
  std::deque<SeriesStore> stores(static_cast<size_t>(series));
  std::vector<TTrendPlot::Line> lines;
  const QColor colours[] = {Qt::blue, Qt::red, Qt::darkGreen, Qt::magenta};
  for (int s = 0; s < series; ++s) {
    Fill(stores[static_cast<size_t>(s)], points, static_cast<uint32_t>(s + 1));
    lines.push_back({&stores[static_cast<size_t>(s)], colours[s % 4], s % 2 ? SeriesAxis::Right : SeriesAxis::Left,
                     QString("series %1").arg(s + 1)});
  }
  TTrendPlot plot;
  plot.resize(width, 600);
  plot.SetLines(lines);
  const int64_t last = static_cast<int64_t>(points) * 100'000;
  std::vector<double> ms;
  QImage image(width, 600, QImage::Format_RGB32);
  for (int f = 0; f < frames; ++f) {
    // Every other frame zooms: the whole series, then a tenth of it.
    const int64_t from = f % 2 ? last / 3 : 0, to = f % 2 ? last / 3 + last / 10 : last;
    plot.SetView(from, to, 0);
    const auto start = std::chrono::steady_clock::now();
    QPainter painter(&image);
    plot.Render(painter, image.rect());
    painter.end();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  // The decimation alone: every series' columns over the whole series.
  const auto start = std::chrono::steady_clock::now();
  size_t any = 0;
  for (int f = 0; f < frames; ++f)
    for (const SeriesStore& store : stores)
      for (const SeriesColumn& column : store.Columns(0, last, TTrendPlot::PlotArea(image.rect()).width()))
        any += column.Any;
  const double columns = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return {ms[ms.size() / 2], ms.back(), any > 0 ? columns / frames : 0};
}
}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  size_t points = 1'000'000;
  int series = 4, width = 1600, frames = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--points")) points = std::strtoull(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--series")) series = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--width")) width = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--frames")) frames = std::atoi(argv[i + 1]);
  }
  const Figures small = Time(1000, series, width, frames);
  const Figures large = Time(points, series, width, frames);
  std::printf("%d series x %zu points, %d px: median %.2f ms, max %.2f ms a frame (the columns' extremes: %.2f ms)\n",
              series, points, width, large.MedianMs, large.MaxMs, large.ColumnsMs);
  std::printf("%d series x 1000 points, %d px: median %.2f ms, max %.2f ms a frame\n", series, width, small.MedianMs,
              small.MaxMs);
  std::printf("goal: under 16 ms a frame: %s\n", large.MedianMs < 16 ? "met" : "NOT met");
  return large.MedianMs < 16 ? 0 : 1;
}
