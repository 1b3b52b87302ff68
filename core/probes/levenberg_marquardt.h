// A small Levenberg-Marquardt solver with an analytic Jacobian: finds the parameters p that
// minimise ||x - hx(p)||^2 for a model hx of m parameters and n measurements x. The damping
// update and the three stopping thresholds follow Madsen, Nielsen and Tingleff, "Methods for
// non-linear least squares problems" (2004), algorithm 3.16.
//
// The caller sizes a workspace once; a solve allocates nothing.
#pragma once

#include <span>
#include <vector>

namespace pilvo {

// hx = model(p). `data` is the caller's pointer passed through unchanged.
using LevenbergModel = void (*)(std::span<const double> p, std::span<double> hx, void* data);
// jacobian(i * m + k) = d hx_i / d p_k (row-major, n rows of m).
using LevenbergJacobian = void (*)(std::span<const double> p, std::span<double> jacobian,
                                   void* data);

struct LevenbergOptions {
  double muScale = 1e-3;             // tau: the first damping is tau * max diagonal of J^T J
  double gradientThreshold = 1e-17;  // epsilon 1, on ||J^T (x - hx)||_inf
  double stepThreshold = 1e-17;      // epsilon 2, on ||dp|| relative to ||p||
  double errorThreshold = 1e-17;     // epsilon 3, on ||x - hx||^2
};

enum class LevenbergStop {
  SmallGradient,     // ||J^T (x - hx)||_inf <= gradientThreshold
  SmallStep,         // ||dp||_2 <= stepThreshold * (||p||_2 + stepThreshold)
  IterationLimit,    // the iteration limit was reached (failed steps count as iterations)
  NoReduction,       // the damping grew without bound: no step reduces the error any more
  SmallError,        // ||x - hx||^2 <= errorThreshold
  InvalidValues,     // the model or the Jacobian gave a value that is not finite
  InvalidArguments,  // no parameters, fewer measurements than parameters, workspace too small,
                     // a null callback or a negative iteration limit; p is left unchanged
};

struct LevenbergSummary {
  double initialError = 0.0;  // ||x - hx(p0)||^2
  double finalError = 0.0;    // ||x - hx(p)||^2 at the returned p
  double gradientNorm = 0.0;  // ||J^T (x - hx)||_inf at the returned p
  double lastStep = 0.0;      // ||dp||_2 of the last step tried
  double mu = 0.0;            // the damping at the stop
  int iterations = 0;
  int modelEvaluations = 0;
  int jacobianEvaluations = 0;
  LevenbergStop stop = LevenbergStop::InvalidArguments;
};

// The buffers of a solve for up to `parameters` parameters and `measurements` measurements.
class LevenbergWorkspace {
 public:
  LevenbergWorkspace(int parameters, int measurements);

  int parameterCapacity() const { return parameterCapacity_; }
  int measurementCapacity() const { return measurementCapacity_; }

 private:
  friend int SolveLevenbergMarquardt(LevenbergModel, LevenbergJacobian, std::span<double>,
                                     std::span<const double>, int, const LevenbergOptions&,
                                     LevenbergWorkspace&, LevenbergSummary&, void*);
  int parameterCapacity_;
  int measurementCapacity_;
  std::vector<double> buffer_;
};

inline constexpr int kLevenbergRefused = -1;

// Improves p in place from its initial value. Returns the number of iterations, or
// kLevenbergRefused with summary.stop = InvalidArguments when the call is refused. When the model
// gives values that are not finite, p keeps the last parameters with finite values and the stop is
// InvalidValues.
int SolveLevenbergMarquardt(LevenbergModel model, LevenbergJacobian jacobian, std::span<double> p,
                            std::span<const double> x, int iterationLimit,
                            const LevenbergOptions& options, LevenbergWorkspace& workspace,
                            LevenbergSummary& summary, void* data);

}  // namespace pilvo
