#include "probes/sphere_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

extern "C" void dgelsx_(const int* m, const int* n, const int* nrhs, double* a, const int* lda,
                        double* b, const int* ldb, int* jpvt, const double* rcond, int* rank,
                        double* work, int* info);

namespace pilvo {
namespace {

constexpr int kMaxColumns = 4;
constexpr int kMaxSteps = 50;
constexpr double kStepTolerance = 1e-06;

// A column-major system of up to kMaxSpherePoints rows and kMaxColumns columns, one right side.
struct LinearSystem {
  int rows = 0;
  int columns = 0;
  std::array<double, kMaxSpherePoints * kMaxColumns> a{};
  std::array<double, kMaxSpherePoints> b{};

  double& at(int row, int column) { return a[static_cast<std::size_t>(column * rows + row)]; }
};

// Solves the system in the least-squares sense into b[0 .. columns - 1]. Every column is an
// initial column, so none is moved, and RCOND -1 takes the matrix as of full rank.
bool SolveLeastSquares(LinearSystem& system) {
  const int nrhs = 1;
  const int ldb = std::max(system.rows, system.columns);
  std::array<int, kMaxColumns> jpvt;
  jpvt.fill(1);
  const double rcond = -1.0;
  int rank = 0;
  int info = 0;
  // max(min(M, N) + 3N, 2 min(M, N) + NRHS)
  std::array<double, 4 * kMaxColumns> work{};
  dgelsx_(&system.rows, &system.columns, &nrhs, system.a.data(), &system.rows, system.b.data(),
          &ldb, jpvt.data(), &rcond, &rank, work.data(), &info);
  return info == 0 && std::all_of(system.b.begin(), system.b.begin() + system.columns,
                                  [](double value) { return std::isfinite(value); });
}

double SquaredLength(const std::array<double, 3>& v) {
  return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

// The common point of the three planes bisecting the segments from the first point to the
// others: 2 (P_k - P_0) . c = |P_k|^2 - |P_0|^2.
// Four points in one plane have no sphere, or no single one: the triple product of the edges
// from the first point vanishes against the cube of their size.
bool Coplanar(std::span<const std::array<double, 3>> points) {
  std::array<std::array<double, 3>, 3> edges;
  double size = 0.0;
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      edges[k][axis] = points[k + 1][axis] - points[0][axis];
      size = std::max(size, std::abs(edges[k][axis]));
    }
  }
  const auto& [u, v, w] = edges;
  const double volume = u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0]) +
                        u[2] * (v[0] * w[1] - v[1] * w[0]);
  return std::abs(volume) <= 1e-12 * size * size * size;
}

bool SphereThroughFour(std::span<const std::array<double, 3>> points, Sphere& sphere) {
  if (Coplanar(points)) return false;
  LinearSystem system;
  system.rows = 3;
  system.columns = 3;
  const auto& first = points[0];
  for (int k = 0; k < 3; ++k) {
    const auto& other = points[static_cast<std::size_t>(k + 1)];
    for (int axis = 0; axis < 3; ++axis) system.at(k, axis) = 2.0 * (other[axis] - first[axis]);
    system.b[static_cast<std::size_t>(k)] = SquaredLength(other) - SquaredLength(first);
  }
  if (!SolveLeastSquares(system)) return false;
  const std::array<double, 3> centre{system.b[0], system.b[1], system.b[2]};
  sphere.centre = centre;
  sphere.radius =
      std::sqrt(SquaredLength({centre[0] - first[0], centre[1] - first[1], centre[2] - first[2]}));
  return true;
}

// |P - c|^2 = r^2 written as -2 P.c + k = -|P|^2 with k = |c|^2 - r^2.
bool AlgebraicSphere(std::span<const std::array<double, 3>> points, Sphere& start,
                     bool fixedRadius) {
  LinearSystem system;
  system.rows = static_cast<int>(points.size());
  system.columns = 4;
  for (int i = 0; i < system.rows; ++i) {
    const auto& point = points[static_cast<std::size_t>(i)];
    for (int axis = 0; axis < 3; ++axis) system.at(i, axis) = -2.0 * point[axis];
    system.at(i, 3) = 1.0;
    system.b[static_cast<std::size_t>(i)] = -SquaredLength(point);
  }
  if (!SolveLeastSquares(system)) return false;
  start.centre = {system.b[0], system.b[1], system.b[2]};
  if (!fixedRadius) start.radius = std::sqrt(SquaredLength(start.centre) - system.b[3]);
  return std::isfinite(start.radius);
}

// One Gauss-Newton step on the distances; returns the sum of the step's absolute components,
// or a negative value when the system cannot be solved.
double GaussNewtonStep(std::span<const std::array<double, 3>> points, Sphere& sphere,
                       bool fixedRadius) {
  LinearSystem system;
  system.rows = static_cast<int>(points.size());
  system.columns = fixedRadius ? 3 : 4;
  for (int i = 0; i < system.rows; ++i) {
    const auto& point = points[static_cast<std::size_t>(i)];
    const std::array<double, 3> offset{sphere.centre[0] - point[0], sphere.centre[1] - point[1],
                                       sphere.centre[2] - point[2]};
    const double distance = std::sqrt(SquaredLength(offset));
    for (int axis = 0; axis < 3; ++axis) system.at(i, axis) = offset[axis] / distance;
    if (!fixedRadius) system.at(i, 3) = -1.0;
    system.b[static_cast<std::size_t>(i)] = sphere.radius - distance;
  }
  if (!SolveLeastSquares(system)) return -1.0;
  double size = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    sphere.centre[axis] += system.b[static_cast<std::size_t>(axis)];
    size += std::abs(system.b[static_cast<std::size_t>(axis)]);
  }
  if (!fixedRadius) {
    sphere.radius += system.b[3];
    size += std::abs(system.b[3]);
  }
  return size;
}

}  // namespace

int FitSphere(std::span<const std::array<double, 3>> points, Sphere& sphere, bool fixedRadius) {
  if (points.size() < 4) return kSphereTooFewPoints;
  if (points.size() > kMaxSpherePoints) return kSphereTooManyPoints;
  if (points.size() == 4)
    return SphereThroughFour(points, sphere) ? kSphereFitted : kSphereDegenerate;

  Sphere fit = sphere;
  if (!AlgebraicSphere(points, fit, fixedRadius)) return kSphereDegenerate;
  for (int step = 0; step < kMaxSteps; ++step) {
    const double size = GaussNewtonStep(points, fit, fixedRadius);
    if (size < 0.0) return kSphereDegenerate;
    if (size <= kStepTolerance) {
      sphere = fit;
      return kSphereFitted;
    }
  }
  sphere = fit;
  return kSphereNoConvergence;
}

}  // namespace pilvo
