#include "measure/kinematics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

// The transforms from this one on have no joint angle: the tool transform, and in the
// six-parameter chain the table channel's, whose angle turns the table instead.
int FirstFixedTransform(const ArmRecord& record) {
  const int n = JointCount(record);
  const bool tableTurnsAlone =
      record.modelType == kSixParameterModel && record.options.tableChannel;
  return tableTurnsAlone ? std::max(n - 1, 0) : n;
}

// chain = chain * A with A the transform Rz(theta) Tz(d) Tx(a) Rx(alpha). A's last row is
// (0, 0, 0, 1) and its zeros and one add nothing, so the full 4x4 product is these terms.
void AppendDhTransform(double ct, double st, const KinematicModel::DhTransform& fixed, double a,
                       double d, Pose& chain) {
  const double ca = fixed.cosAlpha;
  const double sa = fixed.sinAlpha;
  for (int row = 0; row < 3; ++row) {
    double* r = &chain[4 * row];
    const double c0 = r[0];
    const double c1 = r[1];
    const double c2 = r[2];
    r[0] = c0 * ct + c1 * st;
    r[1] = c0 * (-ca * st) + c1 * (ca * ct) + c2 * sa;
    r[2] = c0 * (sa * st) + c1 * (-sa * ct) + c2 * ca;
    r[3] = c0 * (a * ct) + c1 * (a * st) + c2 * d + r[3];
  }
}

// Transform j's angle in radians: its offset turned by the joint (by 0 without a joint).
double DhTheta(const float* group, double jointAngle) {
  return (group[3] + jointAngle) * kDegreesToRadians;
}

Pose DhChain(const KinematicModel& model, const Parameters& parameters, const JointAngles& angles,
             int firstFixed, int transforms) {
  // The sines and cosines first, so that the products run without calls in between.
  std::array<double, kMaxJoints + 1> cosTheta;
  std::array<double, kMaxJoints + 1> sinTheta;
  for (int j = 0; j < transforms; ++j) {
    cosTheta[j] = model.dh[j].cosTheta;
    sinTheta[j] = model.dh[j].sinTheta;
    if (j < firstFixed) {
      const double theta = DhTheta(&parameters[kDhGroup * j], angles[j]);
      cosTheta[j] = std::cos(theta);
      sinTheta[j] = std::sin(theta);
    }
  }
  Pose chain = kIdentityPose;
  for (int j = 0; j < transforms; ++j) {
    const float* group = &parameters[kDhGroup * j];
    AppendDhTransform(cosTheta[j], sinTheta[j], model.dh[j], group[1], group[0], chain);
  }
  return chain;
}

// q (x) qz(angle), with qz(angle) = (cos angle/2, 0, 0, sin angle/2): QuatMultiply without its
// terms in the zeros of qz.
Quaternion TurnAboutZ(const Quaternion& q, double angle) {
  const double c = std::cos(0.5 * angle);
  const double s = std::sin(0.5 * angle);
  const auto [w, x, y, z] = q;
  return {w * c - z * s, c * x + y * s, c * y - x * s, w * s + c * z};
}

// qx(rho2) (x) qy(rho1), angles in degrees.
Quaternion TiltOf(double rho1, double rho2) {
  const double r1 = rho1 * kDegreesToRadians;
  const double r2 = rho2 * kDegreesToRadians;
  const Quaternion qy{std::cos(0.5 * r1), 0, std::sin(0.5 * r1), 0};
  const Quaternion qx{std::cos(0.5 * r2), std::sin(0.5 * r2), 0, 0};
  Quaternion q;
  QuatMultiply(qx, qy, q);
  return q;
}

// The angle about z of transform j in radians: rho0 of group j - 1, which orients joint j,
// turned by the joint (by 0 without a joint); the base joint has only its angle.
double SixTurn(const Parameters& parameters, int j, double jointAngle) {
  const double rho0 = j > 0 ? parameters[kSixGroup * (j - 1)] : 0.0;
  return (rho0 + jointAngle) * kDegreesToRadians;
}

using Rotation = std::array<double, 9>;  // row-major 3x3

// The rotation block of the quaternion's homogeneous matrix, which for a quaternion of norm
// other than 1 also scales by its squared norm (as the conjugation q v conj(q) does).
Rotation RotationOf(const Quaternion& q) {
  const auto [w, x, y, z] = q;
  return {
      w * w + x * x - y * y - z * z, 2 * (x * y - w * z),           2 * (x * z + w * y),
      2 * (x * y + w * z),           w * w - x * x + y * y - z * z, 2 * (y * z - w * x),
      2 * (x * z - w * y),           2 * (y * z + w * x),           w * w - x * x - y * y + z * z};
}

Rotation Multiply(const Rotation& a, const Rotation& b) {
  Rotation product;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      product[3 * row + column] =
          a[3 * row] * b[column] + a[3 * row + 1] * b[3 + column] + a[3 * row + 2] * b[6 + column];
    }
  }
  return product;
}

// The orientation is M(Q_0) ... M(Q_m-1) of the homogeneous quaternion matrices, whose last row
// and column hold only the squared norm: the 3x3 products and the product of the norms are the
// whole 4x4 product. Translation j turns with Q_0 ... Q_j, that is by the orientation so far.
Pose SixParameterChain(const KinematicModel& model, const Parameters& parameters,
                       const JointAngles& angles, int firstFixed, int transforms) {
  // The joint quaternions first, so that the products run without calls in between.
  std::array<Quaternion, kMaxJoints + 1> joints;
  for (int j = 0; j < transforms; ++j) {
    const Quaternion& fixed = model.six[j].rotation;
    joints[j] = j < firstFixed ? TurnAboutZ(fixed, SixTurn(parameters, j, angles[j])) : fixed;
  }
  Rotation orientation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  double norms = 1.0;
  Position position{};
  for (int j = 0; j < transforms; ++j) {
    const Quaternion& q = joints[j];
    const Rotation turn = RotationOf(q);
    orientation = j == 0 ? turn : Multiply(orientation, turn);
    norms *= q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    const float* t = &parameters[kSixGroup * j + 3];
    for (int axis = 0; axis < 3; ++axis) {
      const double* row = &orientation[3 * axis];
      position[axis] += row[0] * t[0] + row[1] * t[1] + row[2] * t[2];
    }
  }
  const Rotation& r = orientation;
  return {r[0], r[1], r[2], position[0], r[3], r[4], r[5], position[1],
          r[6], r[7], r[8], position[2], 0,    0,    0,    norms};
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

KinematicModel BuildKinematicModel(const std::array<float, kMaxParameters>& parameters,
                                   const ArmRecord& record) {
  KinematicModel model;
  model.parameters = parameters;
  model.jointCount = record.jointCount;
  model.modelType = record.modelType;
  model.tableChannel = record.options.tableChannel;
  const int firstFixed = FirstFixedTransform(record);
  const int transforms = JointCount(record) + 1;  // with or without the tool transform
  for (int j = 0; j < transforms; ++j) {
    if (record.modelType == kSixParameterModel) {
      Quaternion& rotation = model.six[j].rotation;
      if (j > 0) {
        const float* group = &parameters[kSixGroup * (j - 1)];
        rotation = TiltOf(group[1], group[2]);
      }
      if (j >= firstFixed) rotation = TurnAboutZ(rotation, SixTurn(parameters, j, 0.0));
    } else {
      const float* group = &parameters[kDhGroup * j];
      const double alpha = group[2] * kDegreesToRadians;
      const double theta = DhTheta(group, 0.0);
      model.dh[j] = {std::cos(alpha), std::sin(alpha), std::cos(theta), std::sin(theta)};
    }
  }
  return model;
}

bool ModelFits(const KinematicModel& model, const std::array<float, kMaxParameters>& parameters,
               const ArmRecord& record) {
  return model.jointCount == record.jointCount && model.modelType == record.modelType &&
         model.tableChannel == record.options.tableChannel &&
         std::memcmp(model.parameters.data(), parameters.data(), sizeof parameters) == 0;
}

int ComputeProbeTransform(std::array<float, kMaxParameters>& workingParameters,
                          const ArmRecord& record,
                          const std::array<double, kMaxJoints>& countsPerDegree,
                          const std::array<double, kMaxJoints>& jointCounts,
                          std::int32_t secondJointCorrection,
                          const std::array<double, 3>& temperatures,
                          const std::array<double, 3>& referenceTemperatures,
                          const FrameState& frames, MotionTracker& tracker, Pose& out) {
  return ComputeProbeTransform(BuildKinematicModel(workingParameters, record), workingParameters,
                               record, countsPerDegree, jointCounts, secondJointCorrection,
                               temperatures, referenceTemperatures, frames, tracker, out);
}

int ComputeProbeTransform(
    const KinematicModel& model, std::array<float, kMaxParameters>& workingParameters,
    const ArmRecord& record, const std::array<double, kMaxJoints>& countsPerDegree,
    const std::array<double, kMaxJoints>& jointCounts, std::int32_t secondJointCorrection,
    const std::array<double, 3>& temperatures, const std::array<double, 3>& referenceTemperatures,
    const FrameState& frames, MotionTracker& tracker, Pose& out) {
  const int n = JointCount(record);
  const JointAngles angles =
      ComputeJointAngles(record, countsPerDegree, jointCounts, secondJointCorrection, frames);
  const int transforms = record.options.tableChannel ? n : n + 1;
  const int firstFixed = FirstFixedTransform(record);

  if (record.options.temperatureCompensation) {
    CompensateTemperature(record, temperatures, referenceTemperatures, workingParameters);
  }
  const bool sixParameter = record.modelType == kSixParameterModel;
  Pose pose = sixParameter
                  ? SixParameterChain(model, workingParameters, angles, firstFixed, transforms)
                  : DhChain(model, workingParameters, angles, firstFixed, transforms);
  if (TableAligned(frames, n)) ApplyTable(frames, angles[n - 1], pose);
  if (frames.frameActive) ApplyUserFrame(frames, pose);
  if (sixParameter && record.options.motionDirection) TrackMotion(pose, tracker);
  out = pose;
  return 0;
}

}  // namespace pilvo
