// The cost of a probe calibration of 100 touches: it runs on the user-interface thread. The
// allocation counter shows that the 100 inner solves of a fit allocate nothing.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "allocation_counter.h"
#include "probes/probe_calibration.h"

namespace pilvo {
namespace {

constexpr double kProbeDiameter = 4.0;
constexpr double kSphereDiameter = 25.0;

// Touches from random orientations with a tip offset wrong by (0.5, 0, 0) and 5 um of noise.
std::vector<Pose> Touches(int count) {
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

void BM_ComputeProbeCalibration(benchmark::State& state) {
  const std::vector<Pose> points = Touches(kMaxCalibrationPoints);
  const ArmRecord arm = SixParameterArm();
  ArmRecord copy;
  for (auto _ : state) {
    ProbeCalibration calibration;
    benchmark::DoNotOptimize(
        ComputeProbeCalibration(points, arm, kProbeDiameter, kSphereDiameter, copy, calibration));
  }
}
BENCHMARK(BM_ComputeProbeCalibration)->Unit(benchmark::kMillisecond);

void BM_FitProbeOffset(benchmark::State& state) {
  std::vector<Pose> points = Touches(kMaxCalibrationPoints);
  const ArmRecord arm = SixParameterArm();
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  ProbeOffsetFit fit;
  std::uint64_t allocations = 0;
  for (auto _ : state) {
    ArmRecord probe = arm;
    const std::uint64_t before = bench::AllocationsOnThisThread();
    benchmark::DoNotOptimize(
        FitProbeOffset(probe, points, kProbeDiameter * 0.5, kSphereDiameter * 0.5, workspace, fit));
    allocations += bench::AllocationsOnThisThread() - before;
  }
  state.counters["allocations_per_fit"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FitProbeOffset)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pilvo
