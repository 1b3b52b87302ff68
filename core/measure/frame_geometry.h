// The geometry of the three-point alignments: a right-handed frame from an origin and two
// direction points, and the circle through three points. Pure functions of their points.
#pragma once

#include <array>

#include "measure/transforms.h"

namespace pilvo {

using Point3 = std::array<double, 3>;

// Below this many millimetres three measured points are taken as repeated or collinear: the
// frame or circle they give would follow the arm's measuring noise, not the workpiece.
inline constexpr double kMinimumTriangleHeight = 0.1;

// The position of a pose: rows 0 to 2 of column 3.
Point3 PositionOf(const Pose& pose);

// True when a, b and c are finite and each lies at least kMinimumTriangleHeight from the line
// through the other two (which also keeps the three points apart).
bool PointsSpanTriangle(const Point3& a, const Point3& b, const Point3& c);

// The one failure of the constructions below.
inline constexpr int kNoTriangle = -1;  // the points do not span a triangle

// Rows 0 to 2 of `frame` become the unit X, Y and Z axes of the frame with X from o towards
// p1, Y towards p2's side of X and Z = X x Y; column 3 and row 3 are those of the identity.
// 0, or kNoTriangle (frame untouched).
int FrameFromThreePoints(Pose& frame, const Point3& o, const Point3& p1, const Point3& p2);

// The centre and radius of the circle through a, b and c: the point where the planes bisecting
// ab and bc meet the plane of the three points. 0, or kNoTriangle (outputs untouched).
int CircleThroughPoints(const Point3& a, const Point3& b, const Point3& c, Point3& centre,
                        double& radius);

}  // namespace pilvo
