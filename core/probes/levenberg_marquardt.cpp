#include "probes/levenberg_marquardt.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace pilvo {
namespace {

double SquaredNorm(std::span<const double> v) {
  double sum = 0.0;
  for (const double value : v) sum += value * value;
  return sum;
}

bool AllFinite(std::span<const double> v) {
  return std::all_of(v.begin(), v.end(), [](double value) { return std::isfinite(value); });
}

// e = x - hx; returns ||e||^2.
double Difference(std::span<const double> x, std::span<const double> hx, std::span<double> e) {
  for (std::size_t i = 0; i < x.size(); ++i) e[i] = x[i] - hx[i];
  return SquaredNorm(e);
}

// a = J^T J (m x m) and g = J^T e, for J of n rows of m.
void NormalEquations(std::span<const double> jacobian, std::span<const double> e, std::size_t m,
                     std::span<double> a, std::span<double> g) {
  std::fill(a.begin(), a.end(), 0.0);
  std::fill(g.begin(), g.end(), 0.0);
  for (std::size_t i = 0; i < e.size(); ++i) {
    const double* row = &jacobian[i * m];
    for (std::size_t r = 0; r < m; ++r) {
      g[r] += row[r] * e[i];
      for (std::size_t c = 0; c <= r; ++c) a[r * m + c] += row[r] * row[c];
    }
  }
  for (std::size_t r = 0; r < m; ++r) {
    for (std::size_t c = r + 1; c < m; ++c) a[r * m + c] = a[c * m + r];
  }
}

double InfinityNorm(std::span<const double> v) {
  double largest = 0.0;
  for (const double value : v) largest = std::max(largest, std::abs(value));
  return largest;
}

// Solves (a + mu I) h = g by Cholesky into the lower triangle of `l`. False when the damped
// matrix is not positive definite.
bool SolveDamped(std::span<const double> a, double mu, std::span<const double> g, std::size_t m,
                 std::span<double> l, std::span<double> h) {
  for (std::size_t r = 0; r < m; ++r) {
    for (std::size_t c = 0; c <= r; ++c) {
      double sum = a[r * m + c] + (r == c ? mu : 0.0);
      for (std::size_t k = 0; k < c; ++k) sum -= l[r * m + k] * l[c * m + k];
      if (r == c) {
        if (!(sum > 0.0)) return false;
        l[r * m + r] = std::sqrt(sum);
      } else {
        l[r * m + c] = sum / l[c * m + c];
      }
    }
  }
  for (std::size_t r = 0; r < m; ++r) {
    double sum = g[r];
    for (std::size_t k = 0; k < r; ++k) sum -= l[r * m + k] * h[k];
    h[r] = sum / l[r * m + r];
  }
  for (std::size_t r = m; r-- > 0;) {
    double sum = h[r];
    for (std::size_t k = r + 1; k < m; ++k) sum -= l[k * m + r] * h[k];
    h[r] = sum / l[r * m + r];
  }
  return true;
}

// The tests after an accepted step (and at the start), gradient first.
std::optional<LevenbergStop> ConvergedAt(double gradientNorm, double error,
                                         const LevenbergOptions& options) {
  if (gradientNorm <= options.gradientThreshold) return LevenbergStop::SmallGradient;
  if (error <= options.errorThreshold) return LevenbergStop::SmallError;
  return std::nullopt;
}

}  // namespace

LevenbergWorkspace::LevenbergWorkspace(int parameters, int measurements)
    : parameterCapacity_(std::max(parameters, 0)), measurementCapacity_(std::max(measurements, 0)) {
  const auto m = static_cast<std::size_t>(parameterCapacity_);
  const auto n = static_cast<std::size_t>(measurementCapacity_);
  // hx, trial hx, e, trial e; the Jacobian; J^T J and its factor; g, h and the trial p.
  buffer_.resize(4 * n + n * m + 2 * m * m + 3 * m);
}

int SolveLevenbergMarquardt(LevenbergModel model, LevenbergJacobian jacobian, std::span<double> p,
                            std::span<const double> x, int iterationLimit,
                            const LevenbergOptions& options, LevenbergWorkspace& workspace,
                            LevenbergSummary& summary, void* data) {
  summary = LevenbergSummary{};
  const std::size_t m = p.size();
  const std::size_t n = x.size();
  if (model == nullptr || jacobian == nullptr || m == 0 || n < m || iterationLimit < 0 ||
      m > static_cast<std::size_t>(workspace.parameterCapacity_) ||
      n > static_cast<std::size_t>(workspace.measurementCapacity_)) {
    return kLevenbergRefused;
  }

  double* next = workspace.buffer_.data();
  const auto take = [&next](std::size_t size) {
    const std::span<double> part(next, size);
    next += size;
    return part;
  };
  std::span<double> hx = take(n);
  std::span<double> hxTrial = take(n);
  std::span<double> e = take(n);
  std::span<double> eTrial = take(n);
  const std::span<double> jac = take(n * m);
  const std::span<double> a = take(m * m);
  const std::span<double> factor = take(m * m);
  const std::span<double> g = take(m);
  const std::span<double> h = take(m);
  const std::span<double> pTrial = take(m);

  model(p, hx, data);
  ++summary.modelEvaluations;
  double error = Difference(x, hx, e);
  summary.initialError = error;
  summary.finalError = error;
  if (!std::isfinite(error)) {
    summary.stop = LevenbergStop::InvalidValues;
    return 0;
  }
  jacobian(p, jac, data);
  ++summary.jacobianEvaluations;
  NormalEquations(jac, e, m, a, g);
  if (!AllFinite(a) || !AllFinite(g)) {
    summary.stop = LevenbergStop::InvalidValues;
    return 0;
  }

  double mu = 0.0;
  for (std::size_t k = 0; k < m; ++k) mu = std::max(mu, a[k * m + k]);
  mu *= options.muScale;
  double nu = 2.0;
  summary.gradientNorm = InfinityNorm(g);
  std::optional<LevenbergStop> stop = ConvergedAt(summary.gradientNorm, error, options);

  while (!stop) {
    if (summary.iterations >= iterationLimit) {
      stop = LevenbergStop::IterationLimit;
      break;
    }
    ++summary.iterations;

    bool reduced = false;
    if (SolveDamped(a, mu, g, m, factor, h)) {
      summary.lastStep = std::sqrt(SquaredNorm(h));
      const double threshold = options.stepThreshold;
      if (summary.lastStep <= threshold * (std::sqrt(SquaredNorm(p)) + threshold)) {
        stop = LevenbergStop::SmallStep;
        break;
      }
      for (std::size_t k = 0; k < m; ++k) pTrial[k] = p[k] + h[k];
      model(pTrial, hxTrial, data);
      ++summary.modelEvaluations;
      const double trialError = Difference(x, hxTrial, eTrial);
      // The decrease the linear model predicts: h^T (mu h + g).
      double predicted = 0.0;
      for (std::size_t k = 0; k < m; ++k) predicted += h[k] * (mu * h[k] + g[k]);
      const double rho = (error - trialError) / predicted;
      reduced = std::isfinite(trialError) && predicted > 0.0 && rho > 0.0;
      if (reduced) {
        std::copy(pTrial.begin(), pTrial.end(), p.begin());
        std::swap(hx, hxTrial);
        std::swap(e, eTrial);
        error = trialError;
        jacobian(p, jac, data);
        ++summary.jacobianEvaluations;
        NormalEquations(jac, e, m, a, g);
        if (!AllFinite(a) || !AllFinite(g)) {
          stop = LevenbergStop::InvalidValues;
          break;
        }
        const double cube = (2.0 * rho - 1.0) * (2.0 * rho - 1.0) * (2.0 * rho - 1.0);
        mu *= std::max(1.0 / 3.0, 1.0 - cube);
        nu = 2.0;
        summary.gradientNorm = InfinityNorm(g);
        stop = ConvergedAt(summary.gradientNorm, error, options);
      }
    }
    if (!reduced) {
      mu *= nu;
      nu *= 2.0;
      if (!std::isfinite(mu) || !std::isfinite(nu)) stop = LevenbergStop::NoReduction;
    }
  }

  summary.finalError = error;
  summary.mu = mu;
  summary.stop = *stop;
  return summary.iterations;
}

}  // namespace pilvo
