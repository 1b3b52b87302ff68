// The cost of a probe calibration of 100 touches, which runs on the user-interface thread: the
// whole computation, one tip-offset fit (100 passes, each a complete Levenberg-Marquardt solve),
// one solve of the inner problem, and the probes dialog's computation that settles the tip. The
// allocation counter shows that fits and solves allocate nothing.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "allocation_counter.h"
#include "calibration_problem.h"
#include "dialogs/calibration_acquisition.h"
#include "dialogs/scripted_operator.h"
#include "probes/probe_calibration.h"

namespace pilvo {
namespace {

using bench::kProbeDiameter;
using bench::kSphereDiameter;

// Reports the operator-new calls per iteration, and fails the benchmark when `mustBeNone` and
// there were some.
void ReportAllocations(benchmark::State& state, std::uint64_t allocations, bool mustBeNone) {
  state.counters["allocations"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  if (mustBeNone && allocations != 0) state.SkipWithError("allocated during the measurement");
}

void BM_ComputeProbeCalibration(benchmark::State& state) {
  const std::vector<Pose> points = bench::CalibrationTouches(kMaxCalibrationPoints);
  const ArmRecord arm = bench::SixParameterArm();
  ArmRecord copy;
  for (auto _ : state) {
    ProbeCalibration calibration;
    benchmark::DoNotOptimize(ComputeProbeCalibration(points, arm, kProbeDiameter, kSphereDiameter,
                                                     copy, calibration, Language()));
  }
}
BENCHMARK(BM_ComputeProbeCalibration)->Unit(benchmark::kMillisecond);

// One fit on the first `points` touches: the three fits of a calibration run on all points and
// on those the filter passes keep.
void BM_FitProbeOffset(benchmark::State& state) {
  std::vector<Pose> points = bench::CalibrationTouches(static_cast<int>(state.range(0)));
  const ArmRecord arm = bench::SixParameterArm();
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
  ReportAllocations(state, allocations, true);
}
BENCHMARK(BM_FitProbeOffset)->Arg(100)->Arg(60)->Arg(15)->Unit(benchmark::kMillisecond);

// One solve of the inner problem with the options of the fit.
void BM_IncrementSolve(benchmark::State& state) {
  const bench::IncrementProblem problem(kMaxCalibrationPoints);
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  LevenbergSummary summary;
  std::uint64_t allocations = 0;
  for (auto _ : state) {
    std::array<double, 3> e{};
    const std::uint64_t before = bench::AllocationsOnThisThread();
    bench::SolveIncrement(problem, workspace, summary, e);
    allocations += bench::AllocationsOnThisThread() - before;
    benchmark::DoNotOptimize(e);
  }
  state.counters["iterations"] = summary.iterations;
  ReportAllocations(state, allocations, true);
}
BENCHMARK(BM_IncrementSolve)->Unit(benchmark::kMicrosecond);

// The probes dialog's computation: the calibration, then the fits that settle the tip.
void BM_AcquisitionCompute(benchmark::State& state) {
  ScriptedOperator ui;
  const Language english;
  CalibrationAcquisition acquisition(english);
  for (const Pose& point : bench::CalibrationTouches(kMaxCalibrationPoints)) {
    acquisition.OnButtons(1, point, true, ui);
    acquisition.OnButtons(0, point, true, ui);
  }
  const ArmRecord arm = bench::SixParameterArm();
  ArmRecord copy;
  for (auto _ : state) {
    benchmark::DoNotOptimize(acquisition.Compute(arm, kProbeDiameter, kSphereDiameter, copy));
  }
}
BENCHMARK(BM_AcquisitionCompute)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pilvo
