// What the calibration benchmarks measure: touches of a qualification sphere from random
// orientations, and the inner problem of a tip-offset fit built from them, the increment e that
// puts every tip Q_i + R_i e at the expected distance rE from the sphere's centre c:
// hx_i(e) = |Q_i + R_i e - c|^2 - rE^2, every measurement 0.
#pragma once

#include <array>
#include <vector>

#include "data/arm_record.h"
#include "measure/transforms.h"
#include "probes/levenberg_marquardt.h"

namespace pilvo::bench {

inline constexpr double kProbeDiameter = 4.0;
inline constexpr double kSphereDiameter = 25.0;

// Touches from random orientations with a tip offset wrong by (0.5, 0, 0) and 5 um of noise.
std::vector<Pose> CalibrationTouches(int count);

// A six-parameter chain with a zero tool: the fits only read its tool translation.
ArmRecord SixParameterArm();

// The inner problem of the first pass of a fit on CalibrationTouches(count): the tips are the
// touch positions and the centre that of the sphere of radius rE fitted to them.
class IncrementProblem {
 public:
  explicit IncrementProblem(int count);

  int size() const { return static_cast<int>(poses_.size()); }
  // hx_i at e and, when `gradient` is not null, d hx_i / d e_k = 2 (Q_i + R_i e - c) . R_i[:, k].
  double Value(int i, const double* e, double* gradient) const;

 private:
  std::vector<Pose> poses_;
  std::array<double, 3> centre_{};
  double expectedSquared_ = 0.0;
};

// Our solve of `problem` from e = 0 with the options of the fit: the number of iterations.
int SolveIncrement(const IncrementProblem& problem, LevenbergWorkspace& workspace,
                   LevenbergSummary& summary, std::array<double, 3>& e);

}  // namespace pilvo::bench
