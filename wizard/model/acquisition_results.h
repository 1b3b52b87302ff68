// The results of a points acquisition: the spread of a point zone on each axis, and for a ball
// bar the length errors of the points of its bar zone against the nominal length.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "data/report_file.h"

namespace pilvo::wizard {

using Point3 = std::array<double, 3>;

// Per-axis minimum and maximum of a zone's points; empty zones give the +100000/-100000 start.
struct AxisRanges {
  Point3 minimum{100000.0, 100000.0, 100000.0};
  Point3 maximum{-100000.0, -100000.0, -100000.0};
};
AxisRanges RangesOf(std::span<const ReportPoint> points);
// Mid-range on each axis: the fixed end of the bar.
Point3 CentreOf(const AxisRanges& ranges);

double DistanceFrom(const Point3& centre, const Point3& point);
// The shortest and longest distance of the points from `centre`, in element 0 (a bar zone's
// ranges); the start values for no point.
AxisRanges DistanceRanges(std::span<const ReportPoint> points, const Point3& centre);

struct LengthErrors {
  double minimum = 0.0;   // shortest distance - nominal length
  double maximum = 0.0;   // longest distance - nominal length
  double twoSigma = 0.0;  // 2 * sqrt(sum((d - nominal)^2) / n)
};
// Over the points of a bar zone, their distances from `centre`; zeros for no point.
LengthErrors LengthErrorsOf(std::span<const ReportPoint> points, const Point3& centre,
                            double nominalLength);
// The length error (distance - nominal) of every point, in order.
std::vector<double> PointLengthErrors(std::span<const ReportPoint> points, const Point3& centre,
                                      double nominalLength);

}  // namespace pilvo::wizard
