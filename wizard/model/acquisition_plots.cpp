#include "wizard/model/acquisition_plots.h"

#include <algorithm>
#include <cmath>

#include "data/number_text.h"

namespace pilvo::wizard {
namespace {

// Every point at the height of its deviation from the centre value (mm) times `scale`, around
// the middle of the plot; `top` and `bottom` are the deviations the labels give.
template <class Deviation>
PlotGeometry Draw(std::span<const ReportPoint> points, Deviation deviation, double scale, bool wide,
                  double top, double bottom, PlotSize size) {
  PlotGeometry plot;
  plot.drawn = true;
  plot.wide = wide;
  plot.scale = scale;
  plot.centreY = size.height / 2.0;
  const double spacing = kGridStep * scale;
  if (spacing >= kMinGridSpacing) {
    for (int step = 1; step * spacing <= plot.centreY; ++step) {
      plot.gridYs.push_back(plot.centreY - step * spacing);
      plot.gridYs.push_back(plot.centreY + step * spacing);
    }
  }
  const double xStep = size.width / static_cast<double>(points.size() - 1);
  plot.line.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    plot.line.push_back(
        {static_cast<double>(i) * xStep, plot.centreY - deviation(points[i]) * scale});
  }
  plot.topLabel = FixedText(top, 3);
  plot.bottomLabel = FixedText(bottom, 3);
  return plot;
}

}  // namespace

PlotGeometry AxisPlot(std::span<const ReportPoint> points, int axis, const AxisRanges& ranges,
                      PlotSize size) {
  const auto a = static_cast<std::size_t>(axis);
  const double range = ranges.maximum[a] - ranges.minimum[a];
  if (points.size() < 2 || !(range > 0.0)) return {};
  const double centre = (ranges.minimum[a] + ranges.maximum[a]) / 2.0;
  return Draw(
      points, [&](const ReportPoint& point) { return point.position[a] - centre; },
      size.height / range, range >= kWideRange, ranges.maximum[a] - centre,
      ranges.minimum[a] - centre, size);
}

PlotGeometry DistancePlot(std::span<const ReportPoint> points, const Point3& centre,
                          double barLength, const AxisRanges& ranges, PlotSize size) {
  const double shortest = ranges.minimum[0];
  const double longest = ranges.maximum[0];
  if (points.size() < 2 || !(longest - shortest > 0.0)) return {};
  const double half = std::max(std::abs(barLength - shortest), std::abs(barLength - longest));
  return Draw(
      points,
      [&](const ReportPoint& point) { return DistanceFrom(centre, point.position) - barLength; },
      0.5 * size.height / half, half >= kWideRange, longest - barLength, shortest - barLength,
      size);
}

}  // namespace pilvo::wizard
