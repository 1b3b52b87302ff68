// The driver's pose against the virtual arm's truth, within the accuracy the arm promises.
#pragma once

#include <gtest/gtest.h>

#include <Eigen/Dense>

#include "measure/transforms.h"

namespace pilvo::testing {

inline constexpr double kPositionTolerance = 1e-6;  // mm
inline constexpr double kRotationTolerance = 1e-9;

using RowMajor = Eigen::Matrix<double, 4, 4, Eigen::RowMajor>;

inline void ExpectSamePose(const Pose& actual, const Eigen::Matrix4d& expected) {
  const Eigen::Map<const RowMajor> pose(actual.data());
  EXPECT_LE((pose.topLeftCorner<3, 3>() - expected.topLeftCorner<3, 3>()).cwiseAbs().maxCoeff(),
            kRotationTolerance);
  EXPECT_LE((pose.topRightCorner<3, 1>() - expected.topRightCorner<3, 1>()).cwiseAbs().maxCoeff(),
            kPositionTolerance);
}

}  // namespace pilvo::testing
