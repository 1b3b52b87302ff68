#include "measure/frame_geometry.h"

#include <algorithm>
#include <cmath>

namespace pilvo {
namespace {

Point3 Minus(const Point3& a, const Point3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Dot(const Point3& a, const Point3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double Length(const Point3& a) {
  return std::sqrt(Dot(a, a));
}

Point3 Unit(const Point3& a) {
  const double length = Length(a);
  return {a[0] / length, a[1] / length, a[2] / length};
}

double Determinant(const Point3& r0, const Point3& r1, const Point3& r2) {
  return Dot(r0, Cross(r1, r2));
}

}  // namespace

Point3 PositionOf(const Pose& pose) {
  return {pose[3], pose[7], pose[11]};
}

bool PointsSpanTriangle(const Point3& a, const Point3& b, const Point3& c) {
  const double longestSide =
      std::max({Length(Minus(b, a)), Length(Minus(c, b)), Length(Minus(a, c))});
  // Twice the area over the longest side: the smallest of the three heights.
  const double height = Length(Cross(Minus(b, a), Minus(c, a))) / longestSide;
  // Written so that NaN, infinite and coincident points (0 / 0) all fail.
  return std::isfinite(longestSide) && height >= kMinimumTriangleHeight;
}

int FrameFromThreePoints(Pose& frame, const Point3& o, const Point3& p1, const Point3& p2) {
  if (!PointsSpanTriangle(o, p1, p2)) return kNoTriangle;
  const Point3 u = Minus(p1, o);
  const Point3 x = Unit(u);
  const Point3 z = Unit(Cross(u, Minus(p2, o)));
  const Point3 y = Unit(Cross(z, u));
  frame = {x[0], x[1], x[2], 0, y[0], y[1], y[2], 0, z[0], z[1], z[2], 0, 0, 0, 0, 1};
  return 0;
}

int CircleThroughPoints(const Point3& a, const Point3& b, const Point3& c, Point3& centre,
                        double& radius) {
  if (!PointsSpanTriangle(a, b, c)) return kNoTriangle;
  const Point3 ab = Minus(b, a);
  const Point3 bc = Minus(c, b);
  const Point3 n = Cross(ab, Minus(c, a));  // normal of the plane through the three points
  const Point3 rhs = {(Dot(b, b) - Dot(a, a)) / 2, (Dot(c, c) - Dot(b, b)) / 2, Dot(n, a)};
  // Cramer's rule; the determinant is |n|^2, well away from 0 for a triangle.
  const double det = Determinant(ab, bc, n);
  const Point3 col0 = {ab[0], bc[0], n[0]};
  const Point3 col1 = {ab[1], bc[1], n[1]};
  const Point3 col2 = {ab[2], bc[2], n[2]};
  const Point3 solved = {Determinant(rhs, col1, col2) / det, Determinant(col0, rhs, col2) / det,
                         Determinant(col0, col1, rhs) / det};
  centre = solved;
  radius = Length(Minus(solved, a));
  return 0;
}

}  // namespace pilvo
