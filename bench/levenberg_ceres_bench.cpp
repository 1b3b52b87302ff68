// Ceres Solver on the inner problem of the tip-offset fit that BM_IncrementSolve gives our
// Levenberg-Marquardt solver: its small dense solver and its general one, with the same
// stopping thresholds, the same start and an analytic Jacobian.
#include <benchmark/benchmark.h>
#include <ceres/ceres.h>
#include <ceres/tiny_solver.h>

#include <array>
#include <cmath>

#include "allocation_counter.h"
#include "calibration_problem.h"
#include "probes/probe_calibration.h"

namespace pilvo {
namespace {

constexpr int kPoints = kMaxCalibrationPoints;
constexpr int kIterationLimit = 1000;

struct TinyIncrement {
  using Scalar = double;
  enum { NUM_RESIDUALS = kPoints, NUM_PARAMETERS = 3 };

  // The Jacobian is column-major.
  bool operator()(const double* e, double* residuals, double* jacobian) const {
    for (int i = 0; i < kPoints; ++i) {
      double gradient[3];
      residuals[i] = problem->Value(i, e, jacobian != nullptr ? gradient : nullptr);
      if (jacobian != nullptr) {
        for (int k = 0; k < 3; ++k) jacobian[i + k * kPoints] = gradient[k];
      }
    }
    return true;
  }

  const bench::IncrementProblem* problem;
};

class CeresIncrement : public ceres::SizedCostFunction<kPoints, 3> {
 public:
  explicit CeresIncrement(const bench::IncrementProblem& problem) : problem_(problem) {}

  // The Jacobian is row-major.
  bool Evaluate(double const* const* parameters, double* residuals,
                double** jacobians) const override {
    double* jacobian = jacobians != nullptr ? jacobians[0] : nullptr;
    for (int i = 0; i < kPoints; ++i) {
      residuals[i] =
          problem_.Value(i, parameters[0], jacobian != nullptr ? &jacobian[3 * i] : nullptr);
    }
    return true;
  }

 private:
  const bench::IncrementProblem& problem_;
};

// The operator-new calls per solve, the iterations, and how far the solution is from ours.
void Report(benchmark::State& state, std::uint64_t allocations, int iterations,
            const bench::IncrementProblem& problem, const double* e) {
  state.counters["allocations"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
  state.counters["iterations"] = iterations;
  LevenbergWorkspace workspace(3, kPoints);
  LevenbergSummary summary;
  std::array<double, 3> ours{};
  bench::SolveIncrement(problem, workspace, summary, ours);
  state.counters["from_ours_nm"] = 1e6 * std::hypot(e[0] - ours[0], e[1] - ours[1], e[2] - ours[2]);
}

void BM_IncrementSolveCeresTiny(benchmark::State& state) {
  const bench::IncrementProblem problem(kPoints);
  const TinyIncrement function{&problem};
  ceres::TinySolver<TinyIncrement> solver;
  solver.options.max_num_iterations = kIterationLimit;
  solver.options.gradient_tolerance = 1e-15;
  solver.options.parameter_tolerance = 1e-15;
  solver.options.cost_threshold = 0.5e-20;  // 1/2 ||f||^2
  solver.options.function_tolerance = 0.0;  // ours has no such test
  std::uint64_t allocations = 0;
  Eigen::Vector3d e;
  for (auto _ : state) {
    e.setZero();
    const std::uint64_t before = bench::AllocationsOnThisThread();
    solver.Solve(function, &e);
    allocations += bench::AllocationsOnThisThread() - before;
    benchmark::DoNotOptimize(e);
  }
  Report(state, allocations, solver.summary.iterations, problem, e.data());
}
BENCHMARK(BM_IncrementSolveCeresTiny)->Unit(benchmark::kMicrosecond);

void BM_IncrementSolveCeres(benchmark::State& state) {
  const bench::IncrementProblem problem(kPoints);
  CeresIncrement cost(problem);
  std::array<double, 3> e{};
  ceres::Problem::Options problemOptions;
  problemOptions.cost_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
  ceres::Problem ceresProblem(problemOptions);
  ceresProblem.AddResidualBlock(&cost, nullptr, e.data());
  ceres::Solver::Options options;
  options.minimizer_type = ceres::TRUST_REGION;
  options.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
  options.linear_solver_type = ceres::DENSE_QR;
  options.max_num_iterations = kIterationLimit;
  options.gradient_tolerance = 1e-15;
  options.parameter_tolerance = 1e-15;
  options.function_tolerance = 1e-20;
  options.logging_type = ceres::SILENT;
  options.num_threads = 1;
  ceres::Solver::Summary summary;
  std::uint64_t allocations = 0;
  for (auto _ : state) {
    e.fill(0.0);
    const std::uint64_t before = bench::AllocationsOnThisThread();
    ceres::Solve(options, &ceresProblem, &summary);
    allocations += bench::AllocationsOnThisThread() - before;
    benchmark::DoNotOptimize(e);
  }
  Report(state, allocations, static_cast<int>(summary.iterations.size()), problem, e.data());
}
BENCHMARK(BM_IncrementSolveCeres)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pilvo
