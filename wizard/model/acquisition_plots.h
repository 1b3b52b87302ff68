// The plots of a points acquisition's zone, in each plot's own pixels (y downwards from the
// top): a point zone draws each axis around its mid-range so that the range fills the plot; a
// bar zone draws the distances from the centre around the nominal length so that the larger
// deviation fills half of it. Grid lines mark every 0.1 mm from the centre line.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "data/report_file.h"
#include "wizard/model/acquisition_results.h"

namespace pilvo::wizard {

inline constexpr double kWideRange = 1.0;  // mm: from there on the plot is yellow, not white
inline constexpr double kGridStep = 0.1;   // mm
// Grid lines closer than this would paint the whole plot: there are none then.
inline constexpr double kMinGridSpacing = 2.0;  // px

struct PlotSize {
  double width = 0.0;  // px
  double height = 0.0;
};

struct PlotPoint {
  double x = 0.0;
  double y = 0.0;
};

struct PlotGeometry {
  bool drawn = false;  // at least 2 points and a range: otherwise only the frame
  bool wide = false;   // yellow: a range (a bar's largest deviation) of 1 mm or more
  double scale = 0.0;  // px per mm
  double centreY = 0.0;
  std::vector<double> gridYs;
  std::vector<PlotPoint> line;  // one vertex per point, in order
  std::string topLabel;         // "%.3f" of maximum - centre
  std::string bottomLabel;      // "%.3f" of minimum - centre
};

// Axis `axis` (0 X, 1 Y, 2 Z) of a point zone's points, whose ranges are `ranges`.
PlotGeometry AxisPlot(std::span<const ReportPoint> points, int axis, const AxisRanges& ranges,
                      PlotSize size);
// The distances of a bar zone's points from `centre` against the nominal `barLength`;
// element 0 of `ranges` holds their range.
PlotGeometry DistancePlot(std::span<const ReportPoint> points, const Point3& centre,
                          double barLength, const AxisRanges& ranges, PlotSize size);

}  // namespace pilvo::wizard
