#include "measure/kinematics.h"

#include <algorithm>
#include <cmath>

namespace pilvo {
namespace {

// 1/360 as the arm's software has always written it.
constexpr double kTurnsPerDegree = 0.002777777777777778;
constexpr int kDhGroup = 4;   // d, a, alpha, theta0
constexpr int kSixGroup = 6;  // rho0, rho1, rho2, tx, ty, tz
constexpr int kSixParameterModel = 1;

// One angle per transform: the tool transform after the last joint has none.
using JointAngles = std::array<double, kMaxJoints + 1>;
using Parameters = std::array<float, kMaxParameters>;

int JointCount(const ArmRecord& record) {
  return std::clamp(record.jointCount, 0, kMaxJoints);
}

bool TableAligned(const FrameState& frames, int jointCount) {
  return frames.tableAligned && jointCount > 0;
}

JointAngles ComputeJointAngles(const ArmRecord& record,
                               const std::array<double, kMaxJoints>& countsPerDegree,
                               const std::array<double, kMaxJoints>& jointCounts,
                               std::int32_t correction, const FrameState& frames) {
  const int n = JointCount(record);
  JointAngles angles{};
  for (int i = 0; i < n; ++i) {
    double extra = 0.0;
    if (i == 1 && record.options.secondJointCorrection) {
      const double lines = record.encoderLines[1];
      extra = (lines + jointCounts[1]) * (correction / lines);
    }
    angles[i] = (extra + jointCounts[i]) / countsPerDegree[i];
  }
  // The table's zero is where the alignment took its last point.
  if (TableAligned(frames, n)) angles[n - 1] -= frames.tableReferenceAngle * kRadiansToDegrees;
  return angles;
}

void CompensateTemperature(const ArmRecord& record, const std::array<double, 3>& temperatures,
                           const std::array<double, 3>& reference, Parameters& parameters) {
  const std::array<double, 3>& c = record.expansionCoefficients;
  const std::array<double, 3> expansion{(temperatures[1] - reference[1]) * c[1],
                                        (temperatures[2] - reference[2]) * c[2],
                                        (temperatures[2] - reference[2]) * c[0]};
  const std::array<int, 3> indices = SegmentLengthIndices(record);
  for (int segment = 0; segment < 3; ++segment) {
    float& length = parameters[indices[segment]];
    const long double scaled = static_cast<long double>(length) * (1.0L + expansion[segment]);
    length = static_cast<float>(scaled);
  }
}

Pose DhTransform(const float* group, double jointAngle) {
  const double d = group[0];
  const double a = group[1];
  const double alpha = group[2] * kDegreesToRadians;
  const double theta = (group[3] + jointAngle) * kDegreesToRadians;
  const double ct = std::cos(theta);
  const double st = std::sin(theta);
  const double ca = std::cos(alpha);
  const double sa = std::sin(alpha);
  return {ct, -ca * st, sa * st,  a * ct,  //
          st, ca * ct,  -sa * ct, a * st,  //
          0,  sa,       ca,       d,       //
          0,  0,        0,        1};
}

Pose DhChain(const Parameters& parameters, const JointAngles& angles, int transforms) {
  Pose chain = kIdentityPose;
  for (int j = 0; j < transforms; ++j) {
    Mat4Multiply(chain, DhTransform(&parameters[kDhGroup * j], angles[j]), chain);
  }
  return chain;
}

// qx(r2) (x) qy(r1) (x) qz(r0), angles in radians.
Quaternion JointQuaternion(double r0, double r1, double r2) {
  const Quaternion qz{std::cos(0.5 * r0), 0, 0, std::sin(0.5 * r0)};
  const Quaternion qy{std::cos(0.5 * r1), 0, std::sin(0.5 * r1), 0};
  const Quaternion qx{std::cos(0.5 * r2), std::sin(0.5 * r2), 0, 0};
  Quaternion q;
  QuatMultiply(qx, qy, q);
  QuatMultiply(q, qz, q);
  return q;
}

Pose RotationMatrix(const Quaternion& q) {
  const auto [w, x, y, z] = q;
  return {w * w + x * x - y * y - z * z,
          2 * (x * y - w * z),
          2 * (x * z + w * y),
          0,
          2 * (x * y + w * z),
          w * w - x * x + y * y - z * z,
          2 * (y * z - w * x),
          0,
          2 * (x * z - w * y),
          2 * (y * z + w * x),
          w * w - x * x - y * y + z * z,
          0,
          0,
          0,
          0,
          w * w + x * x + y * y + z * z};
}

Pose SixParameterChain(const Parameters& parameters, const JointAngles& angles, int transforms,
                       bool tableChannel) {
  std::array<Quaternion, kMaxJoints + 1> joints;
  for (int j = 0; j < transforms; ++j) {
    // The rotation of group j - 1 orients joint j; the base joint has only its angle.
    double r0 = 0.0;
    double r1 = 0.0;
    double r2 = 0.0;
    if (j > 0) {
      const float* group = &parameters[kSixGroup * (j - 1)];
      r0 = group[0];
      r1 = group[1];
      r2 = group[2];
    }
    // The table channel's angle turns the table, not the last transform.
    if (!(tableChannel && j == transforms - 1)) r0 += angles[j];
    joints[j] =
        JointQuaternion(r0 * kDegreesToRadians, r1 * kDegreesToRadians, r2 * kDegreesToRadians);
  }

  Position position{};
  for (int j = 0; j < transforms; ++j) {
    const float* t = &parameters[kSixGroup * j + 3];
    Quaternion v{0, t[0], t[1], t[2]};
    for (int k = j; k >= 0; --k) {
      const Quaternion& q = joints[k];
      QuatMultiply(q, v, v);
      QuatMultiply(v, {q[0], -q[1], -q[2], -q[3]}, v);
    }
    for (int axis = 0; axis < 3; ++axis) position[axis] += v[axis + 1];
  }

  Pose chain = kIdentityPose;
  for (int j = 0; j < transforms; ++j) Mat4Multiply(chain, RotationMatrix(joints[j]), chain);
  chain[3] = position[0];
  chain[7] = position[1];
  chain[11] = position[2];
  return chain;
}

void ApplyTable(const FrameState& frames, double tableDegrees, Pose& pose) {
  const double angle = tableDegrees * kDegreesToRadians;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const Pose turn{c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  Mat4Multiply(frames.tableMatrix, pose, pose);
  Mat4Multiply(turn, pose, pose);
}

void ApplyUserFrame(const FrameState& frames, Pose& pose) {
  Mat4Multiply(frames.frameRotation, pose, pose);
  pose[3] -= frames.frameOffset[0];
  pose[7] -= frames.frameOffset[1];
  pose[11] -= frames.frameOffset[2];
}

}  // namespace

std::array<double, kMaxJoints> CountsPerDegree(const ArmRecord& record) {
  std::array<double, kMaxJoints> countsPerDegree{};
  for (int i = 0; i < kMaxJoints; ++i) {
    countsPerDegree[i] = record.encoderLines[i] * 4.0 * kTurnsPerDegree;
  }
  return countsPerDegree;
}

std::array<int, 3> SegmentLengthIndices(const ArmRecord& record) {
  const int n = JointCount(record);
  if (record.modelType == kSixParameterModel) {
    const auto tz = [](int group) { return kSixGroup * group + 5; };
    return n == 5 ? std::array{tz(0), tz(3), tz(5)} : std::array{tz(2), tz(4), tz(n)};
  }
  const auto d = [](int group) { return kDhGroup * group; };
  const auto a = [](int group) { return kDhGroup * group + 1; };
  return n == 5 ? std::array{a(1), d(3), d(5)} : std::array{d(2), d(4), d(6)};
}

int ComputeProbeTransform(std::array<float, kMaxParameters>& workingParameters,
                          const ArmRecord& record,
                          const std::array<double, kMaxJoints>& countsPerDegree,
                          const std::array<double, kMaxJoints>& jointCounts,
                          std::int32_t secondJointCorrection,
                          const std::array<double, 3>& temperatures,
                          const std::array<double, 3>& referenceTemperatures,
                          const FrameState& frames, MotionTracker& tracker, Pose& out) {
  const int n = JointCount(record);
  const JointAngles angles =
      ComputeJointAngles(record, countsPerDegree, jointCounts, secondJointCorrection, frames);
  const bool tableChannel = record.options.tableChannel;
  const int transforms = tableChannel ? n : n + 1;

  if (record.options.temperatureCompensation) {
    CompensateTemperature(record, temperatures, referenceTemperatures, workingParameters);
  }
  const bool sixParameter = record.modelType == kSixParameterModel;
  Pose pose = sixParameter ? SixParameterChain(workingParameters, angles, transforms, tableChannel)
                           : DhChain(workingParameters, angles, transforms);
  if (TableAligned(frames, n)) ApplyTable(frames, angles[n - 1], pose);
  if (frames.frameActive) ApplyUserFrame(frames, pose);
  if (sixParameter && record.options.motionDirection) TrackMotion(pose, tracker);
  out = pose;
  return 0;
}

}  // namespace pilvo
