// The virtual arm's scripted motions: on the count grid, within the limits, and doing what they
// say by the arm's own kinematics. Then pilvo-sim's demonstration, stepped tick by tick: the
// marks a driver's reset waits for, smooth motion, points taken with button 1, and a person
// taking the arm over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "demo_arm.h"
#include "sim/demo_motion.h"
#include "sim/motions.h"
#include "sim/virtual_arm.h"

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

constexpr double kLargestStep = 2.0;  // degrees a tick on any joint

double LargestMove(const std::vector<double>& from, const std::vector<double>& to) {
  double largest = 0.0;
  for (std::size_t joint = 0; joint < to.size(); ++joint) {
    largest = std::max(largest, std::abs(to[joint] - from[joint]));
  }
  return largest;
}

bool Button1(const VirtualArm& arm) {
  const auto button = arm.snapshot().buttons[0];
  return button[0] || button[1];
}

bool AllReferenced(const VirtualArm& arm) {
  const auto joints = arm.snapshot().joints;
  return std::all_of(joints.begin(), joints.end(),
                     [](const JointState& j) { return j.referenced; });
}

TEST(DemoMotion, PassesEveryReferenceMarkSmoothlyBeforeMeasuring) {
  VirtualArmOptions unreferenced;
  unreferenced.referenced = false;
  VirtualArm arm(DemoArm("serial6_dh_marks"), unreferenced);
  ASSERT_TRUE(arm.SetMarkAngle(3, 40.0));
  DemoMotion demo(arm, 1);
  std::vector<double> before = arm.jointAngles();
  int ticks = 0;
  for (; ticks < 2000 && !AllReferenced(arm); ++ticks) {
    demo.Step();
    const std::vector<double> now = arm.jointAngles();
    ASSERT_LE(LargestMove(before, now), kLargestStep + 1e-9) << "tick " << ticks;
    EXPECT_FALSE(Button1(arm)) << "no point before the marks are passed";
    before = now;
  }
  EXPECT_TRUE(AllReferenced(arm)) << "after " << ticks << " ticks";
}

TEST(DemoMotion, TakesPointsWithShortStillPresses) {
  const ArmRecord record = DemoArm("usb6_quaternion");
  const std::vector<DemoFrame> frames = DemoCycle(record, std::vector<double>(6, 0.0), 7);
  int presses = 0;
  int held = 0;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    ASSERT_LE(LargestMove(frames[i - 1].degrees, frames[i].degrees), kLargestStep + 1e-9);
    if (frames[i].button1) {
      if (!frames[i - 1].button1) ++presses;
      EXPECT_EQ(frames[i].degrees, frames[i - 1].degrees) << "the arm stands still for a point";
      ++held;
    } else if (frames[i - 1].button1) {
      EXPECT_EQ(held * kDemoTick.count(), 160) << "a press of about 150 ms";
      held = 0;
    }
  }
  EXPECT_EQ(presses, 2);
  EXPECT_FALSE(frames.back().button1);
}

TEST(DemoMotion, StandsAsideWhileAPersonMovesTheArm) {
  VirtualArm arm(DemoArm("usb6_quaternion"));
  DemoMotion demo(arm, 3);
  // Into the first press of the cycle.
  for (int tick = 0; tick < 5000 && !Button1(arm); ++tick) demo.Step();
  ASSERT_TRUE(Button1(arm));

  ASSERT_TRUE(arm.SetJointAngle(1, 33.0));  // as the control channel's "joint 1 33"
  demo.Step();
  EXPECT_FALSE(Button1(arm)) << "the demonstration's press ends with it";
  const std::vector<double> placed = arm.jointAngles();
  for (int tick = 0; tick < DemoMotion::kIdleTicks - 1; ++tick) demo.Step();
  EXPECT_EQ(arm.jointAngles(), placed);

  ASSERT_TRUE(arm.SetJointAngle(2, -12.0));  // a second move starts the wait again
  const std::vector<double> moved = arm.jointAngles();
  for (int tick = 0; tick < DemoMotion::kIdleTicks; ++tick) demo.Step();
  EXPECT_EQ(arm.jointAngles(), moved);
  demo.Step();
  EXPECT_NE(arm.jointAngles(), moved) << "left alone, the arm moves on";
  EXPECT_LE(LargestMove(moved, arm.jointAngles()), kLargestStep + 1e-9) << "from where it was";
}

}  // namespace
}  // namespace pilvo::sim
