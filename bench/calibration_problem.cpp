#include "calibration_problem.h"

#include <cmath>
#include <random>
#include <span>

#include "probes/sphere_fit.h"

namespace pilvo::bench {
namespace {

void IncrementModel(std::span<const double> e, std::span<double> hx, void* data) {
  const auto& problem = *static_cast<const IncrementProblem*>(data);
  for (std::size_t i = 0; i < hx.size(); ++i) {
    hx[i] = problem.Value(static_cast<int>(i), e.data(), nullptr);
  }
}

void IncrementJacobian(std::span<const double> e, std::span<double> jacobian, void* data) {
  const auto& problem = *static_cast<const IncrementProblem*>(data);
  for (std::size_t i = 0; i < jacobian.size() / 3; ++i) {
    problem.Value(static_cast<int>(i), e.data(), &jacobian[3 * i]);
  }
}

}  // namespace

std::vector<Pose> CalibrationTouches(int count) {
  std::mt19937 random(11);
  std::normal_distribution<double> normal(0.0, 1.0);
  const double expected = (kProbeDiameter + kSphereDiameter) * 0.5;
  std::vector<Pose> points;
  for (int i = 0; i < count; ++i) {
    std::array<double, 4> q{normal(random), normal(random), normal(random), normal(random)};
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& value : q) value /= norm;
    const auto [w, x, y, z] = q;
    Pose pose{1 - 2 * (y * y + z * z),
              2 * (x * y - w * z),
              2 * (x * z + w * y),
              0,
              2 * (x * y + w * z),
              1 - 2 * (x * x + z * z),
              2 * (y * z - w * x),
              0,
              2 * (x * z - w * y),
              2 * (y * z + w * x),
              1 - 2 * (x * x + y * y),
              0,
              0,
              0,
              0,
              1};
    double u[3] = {normal(random), normal(random), normal(random)};
    const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const double radius = expected + 0.005 * normal(random);
    for (int axis = 0; axis < 3; ++axis) {
      // The pose of a tool 0.5 mm longer in x than the real one: p = tip + R (0.5, 0, 0).
      pose[4 * axis + 3] = 100.0 * axis + radius * u[axis] / length + 0.5 * pose[4 * axis];
    }
    points.push_back(pose);
  }
  return points;
}

ArmRecord SixParameterArm() {
  ArmRecord arm;
  arm.jointCount = 6;
  arm.modelType = 1;
  return arm;
}

IncrementProblem::IncrementProblem(int count) : poses_(CalibrationTouches(count)) {
  const double expected = (kProbeDiameter + kSphereDiameter) * 0.5;
  std::vector<std::array<double, 3>> tips;
  for (const Pose& pose : poses_) tips.push_back({pose[3], pose[7], pose[11]});
  Sphere sphere{{}, expected};
  FitSphere(tips, sphere, true);
  centre_ = sphere.centre;
  expectedSquared_ = expected * expected;
}

double IncrementProblem::Value(int i, const double* e, double* gradient) const {
  const Pose& pose = poses_[static_cast<std::size_t>(i)];
  double v[3];
  for (int row = 0; row < 3; ++row) {
    v[row] = pose[4 * row + 3] + pose[4 * row] * e[0] + pose[4 * row + 1] * e[1] +
             pose[4 * row + 2] * e[2] - centre_[row];
  }
  if (gradient != nullptr) {
    for (int k = 0; k < 3; ++k) {
      gradient[k] = 2.0 * (v[0] * pose[k] + v[1] * pose[4 + k] + v[2] * pose[8 + k]);
    }
  }
  return v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - expectedSquared_;
}

int SolveIncrement(const IncrementProblem& problem, LevenbergWorkspace& workspace,
                   LevenbergSummary& summary, std::array<double, 3>& e) {
  static constexpr std::array<double, kMaxSpherePoints> kZeros{};
  constexpr LevenbergOptions kOptions{.muScale = 1e-03,
                                      .gradientThreshold = 1e-15,
                                      .stepThreshold = 1e-15,
                                      .errorThreshold = 1e-20};
  e.fill(0.0);
  return SolveLevenbergMarquardt(IncrementModel, IncrementJacobian, e,
                                 std::span(kZeros).first(static_cast<std::size_t>(problem.size())),
                                 1000, kOptions, workspace, summary,
                                 const_cast<IncrementProblem*>(&problem));
}

}  // namespace pilvo::bench
