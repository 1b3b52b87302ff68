#include "sim/forward_kinematics.h"

#include <algorithm>
#include <numbers>
#include <vector>

#include <Eigen/Geometry>

namespace pilvo::sim {
namespace {

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

// The calibration's parameters, grouped per transform.
class Parameters {
 public:
  Parameters(const ArmRecord& arm, int groupSize) : values_(arm.parameters), size_(groupSize) {}
  double Get(int group, int index) const { return values_[size_ * group + index]; }
  float& At(int group, int index) { return values_[size_ * group + index]; }

 private:
  std::array<float, kMaxParameters> values_;
  int size_;
};

// Denavit-Hartenberg values d, a, alpha, theta0; six-parameter values rho0, rho1, rho2 and
// tx, ty, tz.
enum Dh { kD = 0, kA = 1, kAlpha = 2, kTheta0 = 3 };
enum Six { kRho0 = 0, kRho1 = 1, kRho2 = 2, kTx = 3, kTy = 4, kTz = 5 };

// The upper arm, the forearm and the probe segment grow with the temperature near them; the
// arm's software keeps the grown lengths as floats, as its calibration stores them.
void Expand(const ArmRecord& arm, int joints, const ArmSurroundings& surroundings,
            Parameters& parameters) {
  struct Segment {
    int group;
    int index;
  };
  std::array<Segment, 3> segments;
  if (arm.modelType == 1) {
    segments = joints == 5 ? std::array<Segment, 3>{{{0, kTz}, {3, kTz}, {5, kTz}}}
                           : std::array<Segment, 3>{{{2, kTz}, {4, kTz}, {joints, kTz}}};
  } else {
    segments = joints == 5 ? std::array<Segment, 3>{{{1, kA}, {3, kD}, {5, kD}}}
                           : std::array<Segment, 3>{{{2, kD}, {4, kD}, {6, kD}}};
  }
  const auto& t = surroundings.temperatures;
  const auto& reference = surroundings.referenceTemperatures;
  const auto& c = arm.expansionCoefficients;
  const std::array<double, 3> strain{(t[1] - reference[1]) * c[1], (t[2] - reference[2]) * c[2],
                                     (t[2] - reference[2]) * c[0]};
  for (int s = 0; s < 3; ++s) {
    float& length = parameters.At(segments[s].group, segments[s].index);
    length = static_cast<float>(length * (1.0 + strain[s]));
  }
}

Eigen::Affine3d DhChain(const Parameters& p, const std::vector<double>& angles, int transforms) {
  Eigen::Affine3d pose = Eigen::Affine3d::Identity();
  for (int j = 0; j < transforms; ++j) {
    const double theta = Radians(p.Get(j, kTheta0) + angles[j]);
    pose = pose * Eigen::AngleAxisd(theta, Eigen::Vector3d::UnitZ()) *
           Eigen::Translation3d(p.Get(j, kA), 0.0, p.Get(j, kD)) *
           Eigen::AngleAxisd(Radians(p.Get(j, kAlpha)), Eigen::Vector3d::UnitX());
  }
  return pose;
}

Eigen::Affine3d SixParameterChain(const Parameters& p, const std::vector<double>& angles,
                                  int transforms, bool tableChannel) {
  Eigen::Quaterniond rotation = Eigen::Quaterniond::Identity();
  Eigen::Vector3d position = Eigen::Vector3d::Zero();
  for (int j = 0; j < transforms; ++j) {
    // Joint j turns about z after the fixed orientation of the group before it; the table
    // channel's joint turns the table instead of the chain.
    const double turn = tableChannel && j == transforms - 1 ? 0.0 : angles[j];
    const bool base = j == 0;
    const double rho0 = base ? 0.0 : p.Get(j - 1, kRho0);
    const double rho1 = base ? 0.0 : p.Get(j - 1, kRho1);
    const double rho2 = base ? 0.0 : p.Get(j - 1, kRho2);
    rotation = rotation * Eigen::AngleAxisd(Radians(rho2), Eigen::Vector3d::UnitX()) *
               Eigen::AngleAxisd(Radians(rho1), Eigen::Vector3d::UnitY()) *
               Eigen::AngleAxisd(Radians(rho0 + turn), Eigen::Vector3d::UnitZ());
    position += rotation * Eigen::Vector3d(p.Get(j, kTx), p.Get(j, kTy), p.Get(j, kTz));
  }
  Eigen::Affine3d pose = Eigen::Affine3d::Identity();
  pose.linear() = rotation.toRotationMatrix();
  pose.translation() = position;
  return pose;
}

}  // namespace

Eigen::Matrix4d ProbePose(const ArmRecord& arm, std::span<const double> jointDegrees,
                          const ArmSurroundings& surroundings) {
  const int joints = std::clamp(arm.jointCount, 0, kMaxJoints);
  // One angle per transform, the tool transform's 0.
  std::vector<double> angles(kMaxJoints + 1, 0.0);
  std::copy_n(jointDegrees.begin(), std::min<std::size_t>(jointDegrees.size(), joints),
              angles.begin());
  const bool onTable = surroundings.table.has_value() && joints > 0;
  if (onTable) angles[joints - 1] -= surroundings.table->referenceAngle * 180.0 / std::numbers::pi;

  const bool sixParameter = arm.modelType == 1;
  Parameters parameters(arm, sixParameter ? 6 : 4);
  if (arm.options.temperatureCompensation) Expand(arm, joints, surroundings, parameters);

  // Without a table channel a fixed tool transform follows the last joint.
  const bool tableChannel = arm.options.tableChannel;
  const int transforms = tableChannel ? joints : joints + 1;
  Eigen::Matrix4d pose =
      sixParameter ? SixParameterChain(parameters, angles, transforms, tableChannel).matrix()
                   : DhChain(parameters, angles, transforms).matrix();
  if (onTable) {
    const Eigen::Affine3d turn(
        Eigen::AngleAxisd(Radians(angles[joints - 1]), Eigen::Vector3d::UnitZ()));
    pose = turn.matrix() * surroundings.table->armToTable * pose;
  }
  if (surroundings.userFrame) {
    Eigen::Matrix4d frame = Eigen::Matrix4d::Identity();
    frame.topLeftCorner<3, 3>() = surroundings.userFrame->axes;
    pose = frame * pose;
    pose.topRightCorner<3, 1>() -= surroundings.userFrame->offset;
  }
  return pose;
}

}  // namespace pilvo::sim
