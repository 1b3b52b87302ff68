// Fixed-size transforms of the measurement engine: 4x4 homogeneous matrices and quaternions as
// plain arrays of doubles, so that a reading allocates nothing.
#pragma once

#include <array>

namespace pilvo {

// The arm's angle conventions: these constants, never pi/180 computed at run time, so that
// readings match the calibration that produced the kinematic parameters.
inline constexpr double kDegreesToRadians = 0.017453292519944003;
inline constexpr double kRadiansToDegrees = 57.29577951308;

// A 4x4 homogeneous transform, row-major: element (row, column) is at 4 * row + column. Rows 0
// to 2 hold the orientation in columns 0 to 2 and the position in millimetres in column 3;
// column 2 is the probe axis.
using Pose = std::array<double, 16>;

inline constexpr Pose kIdentityPose{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// A quaternion, scalar first: (w, x, y, z).
using Quaternion = std::array<double, 4>;

// out = a * b. The product goes through a temporary, so out may be a or b. Returns 0.
int Mat4Multiply(const Pose& a, const Pose& b, Pose& out);

// out = a (x) b: w = a.w b.w - a.v . b.v, v = a.w b.v + b.w a.v + a.v x b.v. out may be a or b.
void QuatMultiply(const Quaternion& a, const Quaternion& b, Quaternion& out);

}  // namespace pilvo
