#include "wizard/model/acquisition_results.h"

#include <algorithm>
#include <cmath>

namespace pilvo::wizard {

AxisRanges RangesOf(std::span<const ReportPoint> points) {
  AxisRanges ranges;
  for (const ReportPoint& point : points) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      ranges.minimum[axis] = std::min(ranges.minimum[axis], point.position[axis]);
      ranges.maximum[axis] = std::max(ranges.maximum[axis], point.position[axis]);
    }
  }
  return ranges;
}

Point3 CentreOf(const AxisRanges& ranges) {
  Point3 centre{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    centre[axis] = (ranges.minimum[axis] + ranges.maximum[axis]) / 2.0;
  }
  return centre;
}

double DistanceFrom(const Point3& centre, const Point3& point) {
  const double dx = centre[0] - point[0];
  const double dy = centre[1] - point[1];
  const double dz = centre[2] - point[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

AxisRanges DistanceRanges(std::span<const ReportPoint> points, const Point3& centre) {
  AxisRanges ranges;
  for (const ReportPoint& point : points) {
    const double distance = DistanceFrom(centre, point.position);
    ranges.minimum[0] = std::min(ranges.minimum[0], distance);
    ranges.maximum[0] = std::max(ranges.maximum[0], distance);
  }
  return ranges;
}

std::vector<double> PointLengthErrors(std::span<const ReportPoint> points, const Point3& centre,
                                      double nominalLength) {
  std::vector<double> errors;
  errors.reserve(points.size());
  for (const ReportPoint& point : points) {
    errors.push_back(DistanceFrom(centre, point.position) - nominalLength);
  }
  return errors;
}

LengthErrors LengthErrorsOf(std::span<const ReportPoint> points, const Point3& centre,
                            double nominalLength) {
  if (points.empty()) return {};
  const std::vector<double> errors = PointLengthErrors(points, centre, nominalLength);
  double squares = 0.0;
  for (double error : errors) squares += error * error;
  const auto [shortest, longest] = std::minmax_element(errors.begin(), errors.end());
  return {*shortest, *longest, 2.0 * std::sqrt(squares / static_cast<double>(errors.size()))};
}

}  // namespace pilvo::wizard
