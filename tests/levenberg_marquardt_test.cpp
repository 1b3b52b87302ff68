// The Levenberg-Marquardt solver on problems whose answers are known, and every reason to stop.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "probes/levenberg_marquardt.h"

namespace pilvo {
namespace {

// y = a + b t through points that do not lie on one line, and its normal-equation solution.
constexpr std::array<double, 5> kLineT{0, 1, 2, 3, 4};
constexpr std::array<double, 5> kLineY{1.0, 2.9, 5.2, 7.1, 8.8};
constexpr std::array<double, 2> kLineSolution{1.04, 1.98};

void LineModel(std::span<const double> p, std::span<double> hx, void*) {
  for (std::size_t i = 0; i < hx.size(); ++i) hx[i] = p[0] + p[1] * kLineT[i];
}
void LineJacobian(std::span<const double>, std::span<double> j, void*) {
  for (std::size_t i = 0; i < kLineT.size(); ++i) {
    j[2 * i] = 1.0;
    j[2 * i + 1] = kLineT[i];
  }
}

// Rosenbrock as least squares: (10 (p1 - p0^2), 1 - p0), minimum 0 at (1, 1).
void RosenbrockModel(std::span<const double> p, std::span<double> hx, void*) {
  hx[0] = 10.0 * (p[1] - p[0] * p[0]);
  hx[1] = 1.0 - p[0];
}
void RosenbrockJacobian(std::span<const double> p, std::span<double> j, void*) {
  const double values[] = {-20.0 * p[0], 10.0, -1.0, 0.0};
  std::copy(std::begin(values), std::end(values), j.begin());
}

// y = a exp(-b t) sampled at t = 0 .. 9.
constexpr int kSamples = 10;
void ExponentialModel(std::span<const double> p, std::span<double> hx, void*) {
  for (std::size_t i = 0; i < hx.size(); ++i) hx[i] = p[0] * std::exp(-p[1] * double(i));
}
void ExponentialJacobian(std::span<const double> p, std::span<double> j, void*) {
  for (std::size_t i = 0; i < j.size() / 2; ++i) {
    const double t = double(i);
    j[2 * i] = std::exp(-p[1] * t);
    j[2 * i + 1] = -p[0] * t * std::exp(-p[1] * t);
  }
}

void NanModel(std::span<const double>, std::span<double> hx, void*) {
  for (double& value : hx) value = std::numeric_limits<double>::quiet_NaN();
}

void ExpectNear(std::span<const double> actual, std::array<double, 2> expected, double tolerance) {
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance);
}

struct Solved {
  int result;
  LevenbergSummary summary;
};

Solved Solve(LevenbergModel model, LevenbergJacobian jacobian, std::span<double> p,
             std::span<const double> x, int limit = 1000, LevenbergOptions options = {}) {
  LevenbergWorkspace workspace(4, 16);
  Solved solved{};
  solved.result = SolveLevenbergMarquardt(model, jacobian, p, x, limit, options, workspace,
                                          solved.summary, nullptr);
  return solved;
}

TEST(LevenbergMarquardt, FindsKnownMinima) {
  {
    SCOPED_TRACE("linear least squares: the normal-equation solution");
    std::array<double, 2> p{0.0, 0.0};
    const Solved solved = Solve(LineModel, LineJacobian, p, kLineY);
    ExpectNear(p, kLineSolution, 1e-9);
    EXPECT_GT(solved.summary.finalError, 0.0);
    EXPECT_LT(solved.summary.finalError, solved.summary.initialError);
    // A linear model predicts its decrease exactly (gain ratio 1), so the first steps are taken
    // and each divides the damping by 3, from tau times the largest diagonal of J^T J (30).
    std::array<double, 2> start{0.0, 0.0};
    const Solved twoSteps = Solve(LineModel, LineJacobian, start, kLineY, 2);
    EXPECT_EQ(twoSteps.summary.jacobianEvaluations, 3);
    EXPECT_NEAR(twoSteps.summary.mu, 1e-3 * 30.0 / 9.0, 1e-15);
  }
  {
    SCOPED_TRACE("Rosenbrock from (-1.2, 1)");
    std::array<double, 2> p{-1.2, 1.0};
    const std::array<double, 2> x{};
    const Solved solved = Solve(RosenbrockModel, RosenbrockJacobian, p, x);
    ExpectNear(p, {1.0, 1.0}, 1e-8);
    EXPECT_GT(solved.result, 1);
  }
  {
    SCOPED_TRACE("exponential decay from a distant start");
    std::array<double, kSamples> y;
    for (int i = 0; i < kSamples; ++i) y[i] = 2.0 * std::exp(-0.5 * i);
    std::array<double, 2> p{1.0, 0.05};
    const Solved solved = Solve(ExponentialModel, ExponentialJacobian, p, y);
    ExpectNear(p, {2.0, 0.5}, 1e-9);
    EXPECT_EQ(solved.summary.stop, LevenbergStop::SmallError);
    EXPECT_LE(solved.summary.finalError, 1e-17);
  }
}

TEST(LevenbergMarquardt, StopsForEachReason) {
  const std::array<double, 2> zero{};
  {
    SCOPED_TRACE("already at a minimum with a residual: small gradient, no iteration");
    std::array<double, 2> p{0.0, 0.0};
    Solve(LineModel, LineJacobian, p, kLineY);
    const std::array<double, 2> minimum = p;
    const Solved solved =
        Solve(LineModel, LineJacobian, p, kLineY, 1000, {.gradientThreshold = 1e-9});
    EXPECT_EQ(std::tuple(solved.summary.stop, solved.result, p),
              std::tuple(LevenbergStop::SmallGradient, 0, minimum));
  }
  {
    SCOPED_TRACE("iteration limit");
    std::array<double, 2> p{-1.2, 1.0};
    const Solved solved = Solve(RosenbrockModel, RosenbrockJacobian, p, zero, 3);
    EXPECT_EQ(std::tuple(solved.summary.stop, solved.result, solved.summary.iterations),
              std::tuple(LevenbergStop::IterationLimit, 3, 3));
  }
  {
    SCOPED_TRACE("a large step threshold stops at the first step without taking it");
    std::array<double, 2> p{-1.2, 1.0};
    const Solved solved =
        Solve(RosenbrockModel, RosenbrockJacobian, p, zero, 1000, {.stepThreshold = 10.0});
    EXPECT_EQ(std::tuple(solved.summary.stop, p[0], solved.summary.modelEvaluations),
              std::tuple(LevenbergStop::SmallStep, -1.2, 1));
  }
  {
    SCOPED_TRACE("with every threshold 0 the damping grows until nothing improves");
    std::array<double, 2> p{0.0, 0.0};
    const Solved solved = Solve(LineModel, LineJacobian, p, kLineY, 100000,
                                {.gradientThreshold = 0, .stepThreshold = 0, .errorThreshold = 0});
    EXPECT_TRUE(solved.summary.stop == LevenbergStop::NoReduction ||
                solved.summary.stop == LevenbergStop::SmallStep ||
                solved.summary.stop == LevenbergStop::SmallGradient);
    EXPECT_LT(solved.result, 100000);
    EXPECT_NEAR(p[1], kLineSolution[1], 1e-9);
  }
  {
    SCOPED_TRACE("a model without finite values");
    std::array<double, 2> p{1.0, 2.0};
    const Solved solved = Solve(NanModel, LineJacobian, p, kLineY);
    EXPECT_EQ(std::tuple(solved.summary.stop, p[0]), std::tuple(LevenbergStop::InvalidValues, 1.0));
  }
}

TEST(LevenbergMarquardt, RefusesBadArgumentsAndLeavesParameters) {
  std::array<double, 3> p{1.0, 2.0, 3.0};
  const std::array<double, 2> two{};
  LevenbergSummary summary;
  LevenbergWorkspace small(2, 3);
  const auto refused = [&](LevenbergModel model, std::span<double> params,
                           std::span<const double> x, int limit, LevenbergWorkspace& workspace) {
    return SolveLevenbergMarquardt(model, LineJacobian, params, x, limit, {}, workspace, summary,
                                   nullptr) == -1 &&
           summary.stop == LevenbergStop::InvalidArguments;
  };
  EXPECT_TRUE(refused(LineModel, p, two, 10, small)) << "fewer measurements than parameters";
  EXPECT_TRUE(refused(LineModel, std::span(p).first(2), kLineY, 10, small)) << "workspace rows";
  LevenbergWorkspace roomy(4, 16);
  EXPECT_TRUE(refused(LineModel, p, kLineY, 10, small)) << "workspace columns";
  EXPECT_TRUE(refused(nullptr, std::span(p).first(2), kLineY, 10, roomy)) << "no model";
  EXPECT_TRUE(refused(LineModel, std::span(p).first(2), kLineY, -1, roomy)) << "negative limit";
  EXPECT_TRUE(refused(LineModel, std::span(p).first(0), kLineY, 10, roomy)) << "no parameters";
  EXPECT_EQ(p, (std::array<double, 3>{1.0, 2.0, 3.0}));
}

}  // namespace
}  // namespace pilvo
