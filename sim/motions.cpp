#include "sim/motions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include <Eigen/Dense>

#include "sim/virtual_arm.h"

namespace pilvo::sim {
namespace {

using Posture = std::vector<double>;

constexpr double kUnlimited = 180.0;       // degrees either way for a joint without limits
constexpr double kLimitMargin = 1.0;       // degrees kept from a limit by random postures
constexpr double kTouchSpread = 25.0;      // degrees a touch turns each joint from the start
constexpr double kGradientStep = 1e-4;     // degrees, for the numeric derivatives
constexpr double kSolvedTolerance = 1e-9;  // mm
constexpr double kTouchTolerance = 1e-3;   // mm from the sphere, once on the grid
constexpr int kSolverIterations = 60;
constexpr int kCoarseWindow = 20;  // counts searched each way on the joint of large lever
constexpr int kFineWindow = 2;     // counts around the predicted fine correction
constexpr int kAttemptsPerTouch = 20;

int JointCount(const ArmRecord& arm) {
  return std::clamp(arm.jointCount, 0, kMaxJoints);
}

// The inserted joint of an arm that has one carries no encoder and never turns.
bool Fixed(const ArmRecord& arm, int joint) {
  return arm.options.insertedAxis && joint == 2;
}

// Joints that move the probe in the arm's frame: the table channel turns the table instead.
bool MovesProbe(const ArmRecord& arm, int joint) {
  return !Fixed(arm, joint) && !(arm.options.tableChannel && joint == JointCount(arm) - 1);
}

bool Unlimited(const JointLimit& limit) {
  return limit.minimum == 0.0 && limit.maximum == 0.0;
}

struct Range {
  double low;
  double high;
};

Range AllowedRange(const ArmRecord& arm, int joint) {
  const JointLimit& limit = arm.jointLimits[joint];
  return Unlimited(limit) ? Range{-kUnlimited, kUnlimited} : Range{limit.minimum, limit.maximum};
}

bool WithinRanges(const ArmRecord& arm, const Posture& posture) {
  for (int joint = 0; joint < JointCount(arm); ++joint) {
    const Range range = AllowedRange(arm, joint);
    if (!(posture[joint] >= range.low && posture[joint] <= range.high)) return false;
  }
  return true;
}

double CountsPerDegree(const ArmRecord& arm, int joint) {
  return arm.encoderLines[joint] * 4.0 / 360.0;
}

bool Corrected(const ArmRecord& arm, int joint) {
  return joint == 1 && arm.options.secondJointCorrection;
}

// Degrees between neighbouring counts of a joint.
double GridStep(const ArmRecord& arm, int joint) {
  const double lines = arm.encoderLines[joint];
  const double scale = Corrected(arm, joint) ? 1.0 + arm.secondJointCorrectionCount / lines : 1.0;
  return scale / CountsPerDegree(arm, joint);
}

Posture OnGrid(const ArmRecord& arm, const Posture& posture) {
  Posture snapped(posture.size(), 0.0);
  for (int joint = 0; joint < JointCount(arm); ++joint) {
    if (!Fixed(arm, joint)) snapped[joint] = OnCountGrid(arm, joint, posture[joint]);
  }
  return snapped;
}

Posture RandomPosture(const ArmRecord& arm, std::mt19937& random, double fraction) {
  Posture posture(JointCount(arm), 0.0);
  for (int joint = 0; joint < JointCount(arm); ++joint) {
    if (Fixed(arm, joint)) continue;
    const Range range = AllowedRange(arm, joint);
    const double middle = 0.5 * (range.low + range.high);
    const double half = std::max(0.0, 0.5 * (range.high - range.low) - kLimitMargin) * fraction;
    posture[joint] = std::uniform_real_distribution<double>(middle - half, middle + half)(random);
  }
  return posture;
}

Eigen::Vector3d ProbePosition(const ArmRecord& arm, const Posture& posture,
                              const ArmSurroundings& surroundings) {
  return ProbePose(arm, posture, surroundings).topRightCorner<3, 1>();
}

// d position / d degrees, one column per joint; 0 for the joints that do not move the probe.
Eigen::MatrixXd PositionJacobian(const ArmRecord& arm, const Posture& posture,
                                 const ArmSurroundings& surroundings) {
  Eigen::MatrixXd jacobian = Eigen::MatrixXd::Zero(3, static_cast<Eigen::Index>(posture.size()));
  for (int joint = 0; joint < JointCount(arm); ++joint) {
    if (!MovesProbe(arm, joint)) continue;
    Posture ahead = posture;
    Posture behind = posture;
    ahead[joint] += kGradientStep;
    behind[joint] -= kGradientStep;
    jacobian.col(joint) =
        (ProbePosition(arm, ahead, surroundings) - ProbePosition(arm, behind, surroundings)) /
        (2.0 * kGradientStep);
  }
  return jacobian;
}

void AddStep(Posture& posture, const Eigen::VectorXd& step) {
  for (std::size_t joint = 0; joint < posture.size(); ++joint) {
    posture[joint] += step(static_cast<Eigen::Index>(joint));
  }
}

// Least-norm Gauss-Newton steps that bring the probe to `target`.
bool SolvePosition(const ArmRecord& arm, Posture& posture, const Eigen::Vector3d& target,
                   const ArmSurroundings& surroundings) {
  for (int iteration = 0; iteration < kSolverIterations; ++iteration) {
    const Eigen::Vector3d miss = target - ProbePosition(arm, posture, surroundings);
    if (miss.norm() < kSolvedTolerance) return true;
    const Eigen::MatrixXd j = PositionJacobian(arm, posture, surroundings);
    const Eigen::Matrix3d normal = j * j.transpose() + 1e-9 * Eigen::Matrix3d::Identity();
    AddStep(posture, j.transpose() * normal.ldlt().solve(miss));
  }
  return false;
}

double SignedDistanceError(const ArmRecord& arm, const Posture& posture,
                           const Eigen::Vector3d& centre, double distance,
                           const ArmSurroundings& surroundings) {
  return (ProbePosition(arm, posture, surroundings) - centre).norm() - distance;
}

// d distance / d degrees.
Eigen::VectorXd DistanceGradient(const ArmRecord& arm, const Posture& posture,
                                 const Eigen::Vector3d& centre,
                                 const ArmSurroundings& surroundings) {
  const Eigen::Vector3d away = ProbePosition(arm, posture, surroundings) - centre;
  return PositionJacobian(arm, posture, surroundings).transpose() * away.normalized();
}

// Least-norm Gauss-Newton steps that bring the ball's centre to `distance` from `centre`.
bool SolveDistance(const ArmRecord& arm, Posture& posture, const Eigen::Vector3d& centre,
                   double distance, const ArmSurroundings& surroundings) {
  for (int iteration = 0; iteration < kSolverIterations; ++iteration) {
    const double error = SignedDistanceError(arm, posture, centre, distance, surroundings);
    if (std::abs(error) < kSolvedTolerance) return true;
    const Eigen::VectorXd gradient = DistanceGradient(arm, posture, centre, surroundings);
    if (gradient.squaredNorm() == 0.0) return false;
    AddStep(posture, -error * gradient / gradient.squaredNorm());
  }
  return false;
}

// On the grid the sphere can only be met to within a count: turn the joint of the largest lever
// over a window of counts and correct each try with the smallest lever that still acts.
double NearestToSphereOnGrid(const ArmRecord& arm, Posture& posture, const Eigen::Vector3d& centre,
                             double distance, const ArmSurroundings& surroundings) {
  const Eigen::VectorXd gradient = DistanceGradient(arm, posture, centre, surroundings);
  int coarse = -1;
  int fine = -1;
  double coarseLever = 0.0;
  double fineLever = std::numeric_limits<double>::infinity();
  for (int joint = 0; joint < JointCount(arm); ++joint) {
    if (!MovesProbe(arm, joint)) continue;
    const double lever = std::abs(gradient(joint)) * GridStep(arm, joint);  // mm per count
    if (lever > coarseLever) {
      coarseLever = lever;
      coarse = joint;
    }
    if (lever > 1e-6 && lever < fineLever) {
      fineLever = lever;
      fine = joint;
    }
  }
  const auto error = [&](const Posture& p) {
    return SignedDistanceError(arm, p, centre, distance, surroundings);
  };
  double best = std::abs(error(posture));
  if (coarse < 0 || fine < 0 || coarse == fine) return best;
  const double fineSlope = gradient(fine) * GridStep(arm, fine);
  const Posture start = posture;
  for (int a = -kCoarseWindow; a <= kCoarseWindow; ++a) {
    Posture tried = start;
    tried[coarse] = OnCountGrid(arm, coarse, start[coarse] + a * GridStep(arm, coarse));
    const double predicted = std::round(-error(tried) / fineSlope);
    for (int b = -kFineWindow; b <= kFineWindow; ++b) {
      tried[fine] = OnCountGrid(arm, fine, start[fine] + (predicted + b) * GridStep(arm, fine));
      const double miss = std::abs(error(tried));
      if (miss < best) {
        best = miss;
        posture = tried;
      }
    }
  }
  return best;
}

MotionStep MakeStep(const ArmRecord& arm, const Posture& posture,
                    const ArmSurroundings& surroundings, bool button1 = false) {
  MotionStep step{posture, {}, ProbePose(arm, posture, surroundings)};
  step.buttons[0] = button1;
  return step;
}

}  // namespace

bool ApplyStep(VirtualArm& arm, const MotionStep& step) {
  if (!arm.SetJointAngles(step.degrees)) return false;
  for (int button = 1; button <= kButtonCount; ++button) {
    if (!arm.SetButton(button, step.buttons[button - 1])) return false;
  }
  return true;
}

double OnCountGrid(const ArmRecord& arm, int joint, double degrees) {
  const double lines = arm.encoderLines[joint];
  if (lines <= 0.0) return degrees;
  const double perDegree = CountsPerDegree(arm, joint);
  if (!Corrected(arm, joint)) return std::round(degrees * perDegree) / perDegree;
  // The host reads counter c as c + (lines + c) k / lines counts of the joint.
  const double k = arm.secondJointCorrectionCount;
  const double counter = std::round((degrees * perDegree - k) / (1.0 + k / lines));
  return (counter + (lines + counter) * (k / lines)) / perDegree;
}

std::vector<MotionStep> WorkspaceSweep(const ArmRecord& arm, std::uint32_t seed, int steps,
                                       const ArmSurroundings& surroundings, int stepsPerLeg) {
  std::mt19937 random(seed);
  const int perLeg = std::max(stepsPerLeg, 1);
  std::vector<MotionStep> sweep;
  Posture from = RandomPosture(arm, random, 1.0);
  Posture to = RandomPosture(arm, random, 1.0);
  for (int step = 0; step < steps; ++step) {
    const int along = step % perLeg;
    if (step > 0 && along == 0) {
      from = to;
      to = RandomPosture(arm, random, 1.0);
    }
    const double t = static_cast<double>(along) / perLeg;
    Posture posture(from.size());
    for (std::size_t joint = 0; joint < from.size(); ++joint) {
      posture[joint] = from[joint] + t * (to[joint] - from[joint]);
    }
    sweep.push_back(MakeStep(arm, OnGrid(arm, posture), surroundings));
  }
  return sweep;
}

SphereTouches TouchSphere(const ArmRecord& arm, double sphereDiameter, int touches,
                          std::uint32_t seed, const ArmSurroundings& surroundings) {
  std::mt19937 random(seed);
  SphereTouches result;
  result.ballDistance = 0.5 * sphereDiameter + arm.probeRadius;
  const Posture start = RandomPosture(arm, random, 0.5);
  const Eigen::Matrix4d startPose = ProbePose(arm, start, surroundings);
  result.centre =
      startPose.topRightCorner<3, 1>() + result.ballDistance * startPose.col(2).head<3>();

  std::uniform_real_distribution<double> turn(-kTouchSpread, kTouchSpread);
  for (int attempt = 0;
       attempt < kAttemptsPerTouch * touches && static_cast<int>(result.steps.size()) < 2 * touches;
       ++attempt) {
    Posture posture = start;
    for (int joint = 0; joint < JointCount(arm); ++joint) {
      if (MovesProbe(arm, joint)) posture[joint] += turn(random);
    }
    if (!SolveDistance(arm, posture, result.centre, result.ballDistance, surroundings)) continue;
    posture = OnGrid(arm, posture);
    const double miss =
        NearestToSphereOnGrid(arm, posture, result.centre, result.ballDistance, surroundings);
    if (miss > kTouchTolerance || !WithinRanges(arm, posture)) continue;
    result.worstError = std::max(result.worstError, miss);
    result.steps.push_back(MakeStep(arm, posture, surroundings, true));
    result.steps.push_back(MakeStep(arm, posture, surroundings));
  }
  return result;
}

std::vector<MotionStep> LineThenPress(const ArmRecord& arm, const std::vector<double>& startDegrees,
                                      const Eigen::Vector3d& direction, double length, int steps,
                                      const ArmSurroundings& surroundings) {
  std::vector<MotionStep> motion;
  Posture posture = startDegrees;
  posture.resize(static_cast<std::size_t>(JointCount(arm)), 0.0);
  const Eigen::Vector3d origin = ProbePosition(arm, posture, surroundings);
  const Eigen::Vector3d unit = direction.normalized();
  for (int step = 0; step <= steps; ++step) {
    const Eigen::Vector3d target = origin + unit * (length * step / std::max(steps, 1));
    // Each move starts from the exact posture before it, so grid errors do not add up.
    if (!SolvePosition(arm, posture, target, surroundings)) break;
    motion.push_back(MakeStep(arm, OnGrid(arm, posture), surroundings));
  }
  if (!motion.empty()) motion.push_back(MakeStep(arm, motion.back().degrees, surroundings, true));
  return motion;
}

}  // namespace pilvo::sim
