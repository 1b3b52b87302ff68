// The virtual arm's scripted motions: on the count grid, within the limits, and doing what they
// say by the arm's own kinematics.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/tab_file.h"
#include "demo_arm.h"
#include "platform/atomic_file.h"
#include "sim/motions.h"

namespace pilvo::sim {
namespace {

using testing::DemoArm;

// The arm reports exactly these angles: its counter turns back into the same angle.
void ExpectOnGridAndWithinLimits(const ArmRecord& arm, const MotionStep& step) {
  ASSERT_EQ(step.degrees.size(), static_cast<std::size_t>(arm.jointCount));
  for (int joint = 0; joint < arm.jointCount; ++joint) {
    EXPECT_EQ(OnCountGrid(arm, joint, step.degrees[joint]), step.degrees[joint]) << joint;
    const JointLimit& limit = arm.jointLimits[joint];
    const bool limited = limit.minimum != 0.0 || limit.maximum != 0.0;
    EXPECT_GE(step.degrees[joint], limited ? limit.minimum : -180.0) << joint;
    EXPECT_LE(step.degrees[joint], limited ? limit.maximum : 180.0) << joint;
  }
  EXPECT_TRUE(step.pose.isApprox(ProbePose(arm, step.degrees)));
}

TEST(Motions, SweepIsSeededAndStaysOnTheGridWithinTheLimits) {
  for (const char* name : {"usb6_quaternion", "serial6_dh_marks", "five_joint", "rotating_table"}) {
    SCOPED_TRACE(name);
    const ArmRecord arm = DemoArm(name);
    const auto sweep = WorkspaceSweep(arm, 42, 30);
    ASSERT_EQ(sweep.size(), 30u);
    for (const MotionStep& step : sweep) ExpectOnGridAndWithinLimits(arm, step);
    EXPECT_EQ(WorkspaceSweep(arm, 42, 30)[17].degrees, sweep[17].degrees);
    EXPECT_NE(WorkspaceSweep(arm, 43, 30)[17].degrees, sweep[17].degrees);
  }
}

TEST(Motions, TouchesKeepTheBallOnTheSphere) {
  for (const char* name : {"usb6_quaternion", "five_joint"}) {
    SCOPED_TRACE(name);
    const ArmRecord arm = DemoArm(name);
    const SphereTouches touches = TouchSphere(arm, 25.0, 20, 9);
    ASSERT_EQ(touches.steps.size(), 40u);
    EXPECT_EQ(touches.ballDistance, 12.5 + arm.probeRadius);
    EXPECT_LE(touches.worstError, 1e-3);
    for (std::size_t i = 0; i < touches.steps.size(); ++i) {
      const MotionStep& step = touches.steps[i];
      ExpectOnGridAndWithinLimits(arm, step);
      EXPECT_EQ(step.buttons[0], i % 2 == 0) << "press, then release";
      const double distance = (step.pose.topRightCorner<3, 1>() - touches.centre).norm();
      EXPECT_NEAR(distance, touches.ballDistance, touches.worstError + 1e-12);
    }
    // Different postures, not one touch repeated.
    EXPECT_GT((touches.steps[0].pose - touches.steps[2].pose).norm(), 0.1);
  }
}

TEST(Motions, LineEndsWithAPressWhereItStops) {
  const ArmRecord arm = DemoArm("usb6_quaternion");
  const auto start = WorkspaceSweep(arm, 11, 1)[0].degrees;
  const Eigen::Vector3d direction = Eigen::Vector3d(1.0, 2.0, -2.0).normalized();
  const auto line = LineThenPress(arm, start, direction, 30.0, 15);
  ASSERT_EQ(line.size(), 17u);
  const Eigen::Vector3d origin = ProbePose(arm, start).topRightCorner<3, 1>();
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    ExpectOnGridAndWithinLimits(arm, line[i]);
    EXPECT_FALSE(line[i].buttons[0]);
    const Eigen::Vector3d target = origin + direction * (2.0 * static_cast<double>(i));
    EXPECT_LE((line[i].pose.topRightCorner<3, 1>() - target).norm(), 0.2) << i;
  }
  EXPECT_TRUE(line.back().buttons[0]);
  EXPECT_EQ(line.back().degrees, line[line.size() - 2].degrees);
}

}  // namespace
}  // namespace pilvo::sim
