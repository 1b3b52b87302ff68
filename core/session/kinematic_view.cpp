// The joints of the last reading for displays: angles, counts and the arm's link lengths.
#include <algorithm>

#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr int kSixParameterModel = 1;
constexpr int kFiveJoints = 5;
constexpr std::size_t kLayoutAngles = 6;

int JointCount(const ArmRecord& record) {
  return std::clamp(record.jointCount, 0, kMaxJoints);
}

// Four lengths for the arm view, from the groups of the kinematic parameters.
std::array<double, kLinkLengths> LinkLengths(const ArmRecord& record) {
  const auto& p = record.parameters;
  const int n = JointCount(record);
  if (record.modelType == kSixParameterModel) {
    if (n == kFiveJoints) return {p[5], p[9], p[23], p[35]};
    return {p[5], p[17], p[29], p[5 + 6 * n]};
  }
  if (n == kFiveJoints) return {p[0], p[5], p[12], p[20]};
  return {p[0], p[8], p[16], p[24]};
}

}  // namespace

double ArmSession::JointValue(int joint, bool degrees) const {
  const double value = state_.jointCounts[joint] / state_.countsPerDegree[joint];
  return degrees ? value : value * kDegreesToRadians;
}

int ArmSession::ReadJointAngles(std::array<double, kMaxJoints>& angles) const {
  if (!link_.IsOpen()) return session_result::kNotConnected;
  for (int joint = 0; joint < JointCount(state_.working); ++joint) {
    angles[joint] = JointValue(joint, false);
  }
  return session_result::kDone;
}

int ArmSession::ReadJointCounts(std::array<double, kMaxJoints>& counts) const {
  if (!link_.IsOpen()) return session_result::kNotConnected;
  counts = state_.jointCounts;
  return session_result::kDone;
}

int ArmSession::VedeCinematica(std::int32_t flags,
                               std::span<double, kKinematicViewValues> values) const {
  if (!link_.IsOpen()) return session_result::kNotConnected;
  const ArmRecord& record = state_.working;
  const int n = JointCount(record);
  const bool degrees = (flags & 1) != 0;
  // Angles past the sixth would only be overwritten by the lengths.
  const int shown = std::min(n, static_cast<int>(kLayoutAngles));
  for (int joint = 0; joint < shown; ++joint) values[joint] = JointValue(joint, degrees);
  if (shown > 0) values[0] = -values[0];
  if (n == kFiveJoints) {
    std::copy_backward(values.begin() + 2, values.begin() + 5, values.begin() + 6);
    values[2] = 0.0;
  }
  const auto lengths = LinkLengths(record);
  std::copy(lengths.begin(), lengths.end(), values.begin() + kLayoutAngles);
  return session_result::kDone;
}

int ArmSession::VedeCinematica2(std::int32_t mode, std::int32_t* jointCount, double* angles,
                                double* lengths, std::int32_t* options) const {
  if (!link_.IsOpen()) return session_result::kNotConnected;
  if (!state_.tabLoaded) return session_result::kNoTabLoaded;
  const ArmRecord& record = state_.working;
  const ArmOptions& o = record.options;
  const int n = JointCount(record);
  const int shown = o.board3ThirdAxis && !o.board3ThirdAxisCompanion ? std::max(n - 1, 0) : n;
  if (jointCount != nullptr) *jointCount = shown;
  if (angles != nullptr) {
    for (int joint = 0; joint < shown; ++joint) angles[joint] = JointValue(joint, mode == 1);
    if (shown > 0) angles[0] = -angles[0];
  }
  if (lengths != nullptr) {
    const auto values = LinkLengths(record);
    std::copy(values.begin(), values.end(), lengths);
  }
  if (options != nullptr) {
    *options = (o.auxiliaryInput0 ? 1 : 0) + (o.auxiliaryInput1 || o.auxiliaryInput2 ? 2 : 0) +
               (o.board3ThirdAxisCompanion ? 4 : 0);
  }
  return session_result::kDone;
}

}  // namespace pilvo
