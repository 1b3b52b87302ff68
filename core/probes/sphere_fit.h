// Least-squares sphere through measured points, with its radius fixed or free.
#pragma once

#include <array>
#include <span>

namespace pilvo {

inline constexpr int kMaxSpherePoints = 100;

struct Sphere {
  std::array<double, 3> centre{};
  double radius = 0.0;  // with a fixed radius, the radius to fit with
};

// Results of FitSphere; `sphere` is left unchanged on every negative one except NoConvergence.
inline constexpr int kSphereFitted = 0;
inline constexpr int kSphereTooFewPoints = -1;   // fewer than 4 points
inline constexpr int kSphereNoConvergence = -2;  // 50 steps without convergence: the last iterate
inline constexpr int kSphereTooManyPoints = -3;  // more than kMaxSpherePoints
inline constexpr int kSphereDegenerate = -4;     // coplanar points or a point at the centre

// Fits `sphere` to the points. Four points give the sphere through them; more points start
// from the algebraic fit and take Gauss-Newton steps on the distances until the steps' absolute
// components add up to at most 1e-06. With `fixedRadius` only the centre moves and
// sphere.radius is an input. Allocates nothing.
int FitSphere(std::span<const std::array<double, 3>> points, Sphere& sphere, bool fixedRadius);

}  // namespace pilvo
