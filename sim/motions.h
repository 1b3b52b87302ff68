// Scripted motions of the virtual arm: sequences of postures and buttons that a test applies to
// a VirtualArm between readings. Every posture lies on the arm's count grid, so a driver that
// reads the arm sees exactly the angles of the step, and each step carries the probe pose that
// the arm's own forward kinematics gives for them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "data/arm_record.h"
#include "sim/arm_state.h"
#include "sim/forward_kinematics.h"

namespace pilvo::sim {

class VirtualArm;

struct MotionStep {
  std::vector<double> degrees;               // one per joint
  std::array<bool, kButtonCount> buttons{};  // buttons 1 to 4 held during the step
  Eigen::Matrix4d pose;                      // the probe pose at these angles
};

// Sets the joints and the four buttons of a step. False when the arm refuses an angle.
bool ApplyStep(VirtualArm& arm, const MotionStep& step);

// The angle nearest `degrees` that the encoder of `joint` reports exactly, taking the
// second-joint correction into account. Joints without encoder lines keep their angle.
double OnCountGrid(const ArmRecord& arm, int joint, double degrees);

inline constexpr int kSweepStepsPerLeg = 8;

// `steps` postures travelling between seeded random waypoints, `stepsPerLeg` from one to the
// next, no button held. Every joint stays within its limits, or within -180 to 180 degrees when
// it has none; a fixed inserted joint stays at 0.
std::vector<MotionStep> WorkspaceSweep(const ArmRecord& arm, std::uint32_t seed, int steps,
                                       const ArmSurroundings& surroundings = {},
                                       int stepsPerLeg = kSweepStepsPerLeg);

struct SphereTouches {
  Eigen::Vector3d centre;   // of the sphere, mm
  double ballDistance = 0;  // from the centre to the probe ball's centre: the two radii
  double worstError = 0;    // the largest |distance - ballDistance| over the touches, mm
  std::vector<MotionStep> steps;
};

// The probe ball (the record's probe radius) touching a sphere of `sphereDiameter` from
// `touches` postures: each touch is a step with button 1 held and a step at the same posture
// with it released.
//
// The sphere is placed ahead of the ball along the probe axis of a seeded posture. Each touch
// starts from that posture with every joint turned by up to 25 degrees and is pulled onto the
// sphere by Gauss-Newton steps on the distance (numeric gradient of the arm's own kinematics,
// least-norm update). The result is put on the count grid, and two joints of small lever are
// then searched over a window of counts for the posture nearest the sphere; worstError tells
// how near the grid allows (about 1e-4 mm).
SphereTouches TouchSphere(const ArmRecord& arm, double sphereDiameter, int touches,
                          std::uint32_t seed, const ArmSurroundings& surroundings = {});

// The probe travelling `length` mm along `direction` from its position at `startDegrees`, in
// `steps` equal moves solved by least-norm Gauss-Newton steps on the position, then a step at
// the last posture with button 1 held. On the count grid the positions stay within about
// 0.1 mm of the line; the poses of the steps are exact.
std::vector<MotionStep> LineThenPress(const ArmRecord& arm, const std::vector<double>& startDegrees,
                                      const Eigen::Vector3d& direction, double length, int steps,
                                      const ArmSurroundings& surroundings = {});

}  // namespace pilvo::sim
