// pilvo-sim's demonstration, stepped tick by tick: the marks a driver's reset waits for, smooth
// motion, points taken with button 1, and a person taking the arm over.
#include "sim/demo_motion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "demo_arm.h"
#include "sim/virtual_arm.h"

namespace pilvo::sim {
namespace {

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
  VirtualArm arm(testing::DemoArm("serial6_dh_marks"), unreferenced);
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
  const ArmRecord record = testing::DemoArm("usb6_quaternion");
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
  VirtualArm arm(testing::DemoArm("usb6_quaternion"));
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
