#include "TrendPlot.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kLeftMargin = 70, kRightMargin = 70, kTopMargin = 8, kBottomMargin = 30;
constexpr int64_t kUsPerSecond = 1'000'000;

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about `parts`.
double NiceStep(double range, int parts) {
  const double rough = range / std::max(parts, 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0})
    if (factor * power >= rough) return factor * power;
  return 10 * power;
}

// Steps of the time axis, in seconds: the first that cuts `seconds` into at most `parts`.
double TimeStep(double seconds, int parts) {
  static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800,
                                      3600, 7200, 10800, 21600, 43200, 86400};
  for (double step : kSteps)
    if (seconds / step <= parts) return step;
  return 86400 * std::ceil(seconds / 86400 / parts);
}

QString NumberText(double value, double step) {
  const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 9);
  return QString::number(value, 'f', decimals);
}
}  // namespace

TTrendPlot::TTrendPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setToolTip(QString::fromUtf8("Левая кнопка: маркер A, правая: маркер B"));
}

void TTrendPlot::SetLines(std::vector<Line> lines) {
  lines_ = std::move(lines);
  update();
}

void TTrendPlot::SetView(int64_t from, int64_t to, int64_t systemOffsetUs) {
  from_ = from;
  to_ = std::max(to, from + 1);
  systemOffsetUs_ = systemOffsetUs;
  update();
}

void TTrendPlot::SetMarkers(std::optional<int64_t> a, std::optional<int64_t> b) {
  markerA_ = a;
  markerB_ = b;
  update();
  emit MarkersChanged();
}

QRect TTrendPlot::PlotArea(const QRect& area) {
  return area.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
}

int64_t TTrendPlot::TimeAt(int x) const {
  const QRect plot = PlotArea(rect());
  const double share = std::clamp(static_cast<double>(x - plot.left()) / std::max(plot.width(), 1), 0.0, 1.0);
  return from_ + static_cast<int64_t>(share * static_cast<double>(to_ - from_));
}

int TTrendPlot::XOf(int64_t us, const QRect& plot) const {
  return plot.left() + static_cast<int>(static_cast<double>(us - from_) * plot.width() / static_cast<double>(to_ - from_));
}

bool TTrendPlot::ValueRange(SeriesAxis axis, double& low, double& high) const {
  bool any = false;
  for (const Line& line : lines_) {
    if (line.Axis != axis || !line.Store) continue;
    const size_t first = line.Store->IndexAtOrAfter(from_), last = line.Store->IndexAtOrAfter(to_);
    if (last <= first) continue;
    if (!any) low = high = line.Store->Value(first);
    any = true;
    line.Store->Extremes(first, last, low, high);
  }
  if (!any) return false;
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.05, 1.0);
  low -= margin;
  high += margin;
  return true;
}

QImage TTrendPlot::Snapshot(const QSize& size) const {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  Render(painter, QRect(QPoint(0, 0), size));
  return image;
}

void TTrendPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Render(painter, rect());
}

void TTrendPlot::Render(QPainter& painter, const QRect& area) const {
  painter.fillRect(area, Qt::white);
  const QRect plot = PlotArea(area);
  if (plot.width() < 2 || plot.height() < 2) return;
  painter.setFont(font());
  DrawTimeAxis(painter, plot);
  for (SeriesAxis axis : {SeriesAxis::Left, SeriesAxis::Right}) {
    double low = 0, high = 0;
    if (!ValueRange(axis, low, high)) continue;
    DrawAxisLabels(painter, plot, axis, low, high);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, 1));
    for (const Line& line : lines_)
      if (line.Axis == axis && line.Store) DrawLine(painter, plot, line, low, high);
    painter.restore();
  }
  painter.setPen(QPen(Qt::gray));
  painter.drawRect(plot);
  // Failed polls: a red tick on the time axis, one per pixel at most.
  std::vector<bool> ticked(static_cast<size_t>(plot.width() + 1));
  painter.setPen(QPen(QColor(220, 0, 0), 1));
  for (const Line& line : lines_) {
    if (!line.Store) continue;
    const auto& gaps = line.Store->Gaps();
    for (auto it = std::lower_bound(gaps.begin(), gaps.end(), from_); it != gaps.end() && *it <= to_; ++it) {
      const int x = XOf(*it, plot);
      const auto column = static_cast<size_t>(std::clamp(x - plot.left(), 0, plot.width()));
      if (ticked[column]) continue;
      ticked[column] = true;
      painter.drawLine(x, plot.bottom() - 6, x, plot.bottom());
    }
  }
  // The markers.
  for (const auto& [marker, name] : {std::pair{markerA_, "A"}, std::pair{markerB_, "B"}}) {
    if (!marker || *marker < from_ || *marker > to_) continue;
    const int x = XOf(*marker, plot);
    painter.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
    painter.drawLine(x, plot.top(), x, plot.bottom());
    painter.setPen(Qt::black);
    painter.drawText(QRect(x + 3, plot.top() + 2, 20, 16), Qt::AlignLeft | Qt::AlignTop, name);
  }
  DrawLegend(painter, plot);
}

void TTrendPlot::DrawLine(QPainter& painter, const QRect& plot, const Line& line, double low, double high) const {
  const std::vector<SeriesColumn> columns = line.Store->Columns(from_, to_, plot.width());
  const double scale = plot.height() / (high - low);
  const auto y = [&](double value) { return plot.bottom() - (value - low) * scale; };
  std::vector<QLineF> strokes;
  strokes.reserve(columns.size() * 2);
  std::vector<QPointF> lonely;  // points joined to nothing: drawn as dots
  int previous = -1;
  bool previousJoined = false;
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const SeriesColumn& column = columns[static_cast<size_t>(c)];
    if (!column.Any) continue;
    const double x = plot.left() + c + 0.5;
    const bool joined = previous >= 0 && !column.GapBefore;
    if (joined) {
      strokes.emplace_back(plot.left() + previous + 0.5, y(columns[static_cast<size_t>(previous)].Last), x, y(column.First));
    } else if (previous >= 0 && !previousJoined) {
      const SeriesColumn& last = columns[static_cast<size_t>(previous)];
      if (last.Min == last.Max) lonely.emplace_back(plot.left() + previous + 0.5, y(last.Min));
    }
    if (column.Min != column.Max) strokes.emplace_back(x, y(column.Min), x, y(column.Max));
    previousJoined = joined;
    previous = c;
  }
  if (previous >= 0 && !previousJoined && columns[static_cast<size_t>(previous)].Min == columns[static_cast<size_t>(previous)].Max)
    lonely.emplace_back(plot.left() + previous + 0.5, y(columns[static_cast<size_t>(previous)].Min));
  painter.setPen(QPen(line.Colour, 1));
  painter.drawLines(strokes.data(), static_cast<int>(strokes.size()));
  painter.setPen(Qt::NoPen);
  painter.setBrush(line.Colour);
  for (const QPointF& point : lonely) painter.drawEllipse(point, 2.0, 2.0);
  painter.setBrush(Qt::NoBrush);
}

void TTrendPlot::DrawAxisLabels(QPainter& painter, const QRect& plot, SeriesAxis axis, double low, double high) const {
  const double step = NiceStep(high - low, std::max(plot.height() / 40, 2));
  const bool left = axis == SeriesAxis::Left;
  const QFontMetrics metrics(painter.font());
  for (double value = std::ceil(low / step) * step; value <= high; value += step) {
    const int y = plot.bottom() - static_cast<int>((value - low) * plot.height() / (high - low));
    if (left) {
      painter.setPen(QColor(232, 232, 232));
      painter.drawLine(plot.left(), y, plot.right(), y);
    }
    painter.setPen(Qt::black);
    const QString text = NumberText(std::abs(value) < step / 2 ? 0.0 : value, step);
    const QRect box = left ? QRect(0, y - metrics.height() / 2, plot.left() - 4, metrics.height())
                           : QRect(plot.right() + 4, y - metrics.height() / 2, kRightMargin - 4, metrics.height());
    painter.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
  }
}

void TTrendPlot::DrawTimeAxis(QPainter& painter, const QRect& plot) const {
  const double seconds = static_cast<double>(to_ - from_) / kUsPerSecond;
  const QFontMetrics metrics(painter.font());
  const double step = TimeStep(seconds, std::max(plot.width() / (metrics.horizontalAdvance("00:00:00.0") + 24), 1));
  const auto stepUs = static_cast<int64_t>(step * kUsPerSecond);
  // Ticks on whole steps of the time of day (local time).
  const int64_t offset = QDateTime::currentDateTime().offsetFromUtc() * kUsPerSecond;
  const int64_t firstLocal = from_ + systemOffsetUs_ + offset;
  int64_t tick = (firstLocal / stepUs + (firstLocal % stepUs != 0 ? 1 : 0)) * stepUs - systemOffsetUs_ - offset;
  for (; tick <= to_; tick += stepUs) {
    const int x = XOf(tick, plot);
    painter.setPen(QColor(232, 232, 232));
    painter.drawLine(x, plot.top(), x, plot.bottom());
    const QDateTime when = QDateTime::fromMSecsSinceEpoch((tick + systemOffsetUs_) / 1000);
    const QString text = when.toString(step < 1 ? "HH:mm:ss.z" : "HH:mm:ss");
    painter.setPen(Qt::black);
    painter.drawText(QRect(x - 60, plot.bottom() + 4, 120, metrics.height()), Qt::AlignHCenter | Qt::AlignTop, text);
  }
}

void TTrendPlot::DrawLegend(QPainter& painter, const QRect& plot) const {
  const QFontMetrics metrics(painter.font());
  int y = plot.top() + 6;
  for (const Line& line : lines_) {
    const QString text = line.Title + (line.Axis == SeriesAxis::Right ? QString::fromUtf8(" (правая ось)") : QString());
    const QRect box(plot.left() + 8, y, metrics.horizontalAdvance(text) + 28, metrics.height() + 2);
    painter.fillRect(box, QColor(255, 255, 255, 220));
    painter.fillRect(QRect(box.left() + 4, box.center().y() - 1, 14, 3), line.Colour);
    painter.setPen(Qt::black);
    painter.drawText(box.adjusted(22, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    y += box.height();
  }
}

void TTrendPlot::mousePressEvent(QMouseEvent* event) {
  const QRect plot = PlotArea(rect());
  if (!plot.contains(event->position().toPoint())) return;
  const int64_t at = TimeAt(event->position().toPoint().x());
  if (event->button() == Qt::LeftButton)
    SetMarkers(at, markerB_);
  else if (event->button() == Qt::RightButton)
    SetMarkers(markerA_, at);
}
