// The trend's drawing: our own widget over QPainter (the Windows package
// carries only Qt's base modules). Each series is drawn per pixel column
// from its store's extremes (SeriesStore::Columns): a vertical stroke from
// the column's minimum to its maximum, joined to the next column unless a
// poll failed between them; so a million points cost what a thousand do and
// no spike is lost. Two value axes, the time of day below, failed polls as
// ticks on the time axis, and two markers set by the mouse (left button A,
// right button B).
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "SeriesStore.h"
#include "TrendSeries.h"

class TTrendPlot : public QWidget {
  Q_OBJECT
public:
  struct Line {
    const SeriesStore* Store = nullptr;
    QColor Colour;
    SeriesAxis Axis = SeriesAxis::Left;
    QString Title;
  };

  explicit TTrendPlot(QWidget* parent = nullptr);

  void SetLines(std::vector<Line> lines);
  // The time shown, in monotonic µs; `systemOffsetUs` turns it into the time of day.
  void SetView(int64_t from, int64_t to, int64_t systemOffsetUs);
  int64_t From() const { return from_; }
  int64_t To() const { return to_; }

  std::optional<int64_t> MarkerA() const { return markerA_; }
  std::optional<int64_t> MarkerB() const { return markerB_; }
  void SetMarkers(std::optional<int64_t> a, std::optional<int64_t> b);

  // Draws everything into `painter` over `area` (the widget, an image to export, a benchmark).
  void Render(QPainter& painter, const QRect& area) const;
  // The plot as an image of `size`.
  QImage Snapshot(const QSize& size) const;

  // The plotting area within `area`, inside the axes.
  static QRect PlotArea(const QRect& area);
  // The time at x within the plot area of the widget.
  int64_t TimeAt(int x) const;
  int XOf(int64_t us, const QRect& plot) const;

signals:
  void MarkersChanged();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void DrawAxisLabels(QPainter& painter, const QRect& plot, SeriesAxis axis, double low, double high) const;
  void DrawTimeAxis(QPainter& painter, const QRect& plot) const;
  void DrawLine(QPainter& painter, const QRect& plot, const Line& line, double low, double high) const;
  void DrawLegend(QPainter& painter, const QRect& plot) const;
  bool ValueRange(SeriesAxis axis, double& low, double& high) const;

  std::vector<Line> lines_;
  int64_t from_ = 0, to_ = 10'000'000;
  int64_t systemOffsetUs_ = 0;
  std::optional<int64_t> markerA_, markerB_;
};
