#include "measure/motion_tracker.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

extern "C" {
// LAPACK's single-precision singular value decomposition; the trailing arguments are the
// hidden lengths of the two character arguments that gfortran expects.
void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a,
             const int* lda, float* s, float* u, const int* ldu, float* vt, const int* ldvt,
             float* work, const int* lwork, int* info, std::size_t jobuLength,
             std::size_t jobvtLength);
}

namespace pilvo {
namespace {

double Distance(const Position& a, const Position& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The axis of the largest absolute component; ties go to the later axis.
int DominantAxis(const double* direction) {
  const double x = std::fabs(direction[0]);
  const double y = std::fabs(direction[1]);
  const double z = std::fabs(direction[2]);
  if (x > y) return z >= x ? 2 : 0;
  return z < y ? 1 : 2;
}

}  // namespace

void TrackMotion(const Pose& pose, MotionTracker& tracker) {
  tracker.currentPosition = {pose[3], pose[7], pose[11]};
  if (tracker.clientSession != 1) {
    tracker.direction = {pose[2], pose[6], pose[10]};
    return;
  }
  const Position& current = tracker.currentPosition;
  const double step = Distance(current, tracker.lastAcceptedPosition);
  if (step > kAcceptedStep) {
    tracker.lastAcceptedPosition = current;
    tracker.ringSteps[tracker.ringIndex] = step;
    tracker.ringPositions[tracker.ringIndex] = current;
    // Only "ten or more" matters; stopping short of the limit keeps a long session defined.
    if (tracker.acceptedCount < std::numeric_limits<std::int32_t>::max()) ++tracker.acceptedCount;
    tracker.ringIndex = (tracker.ringIndex + 1) % MotionTracker::kRingSize;
  }
  if (step > kCoarseDirectionStep) {
    for (int axis = 0; axis < 3; ++axis) {
      tracker.direction[axis] = (current[axis] - tracker.midpoint[axis]) / step;
      tracker.midpoint[axis] = (tracker.midpoint[axis] + current[axis]) * 0.5;
    }
  }
}

int FitMotionLine(std::span<const Position> positions, std::array<double, 6>& out) {
  if (positions.size() < 2) return kFitTooFewPoints;
  // LAPACK counts in int: the workspace of 6 cnt^2 floats must fit.
  const std::int64_t points = static_cast<std::int64_t>(positions.size());
  if (6 * points * points > std::numeric_limits<int>::max()) return kFitFailed;
  const int cnt = static_cast<int>(points);

  Position centroid{};
  for (const Position& position : positions) {
    for (int axis = 0; axis < 3; ++axis) centroid[axis] += position[axis];
  }
  for (double& value : centroid) value /= cnt;

  // The centred coordinates, cnt x 3, column-major.
  std::vector<float> centred(static_cast<std::size_t>(3 * cnt));
  for (int row = 0; row < cnt; ++row) {
    for (int axis = 0; axis < 3; ++axis) {
      centred[static_cast<std::size_t>(axis * cnt + row)] =
          static_cast<float>(positions[static_cast<std::size_t>(row)][axis] - centroid[axis]);
    }
  }
  const int columns = 3;
  const int workSize = 6 * cnt * cnt;
  std::array<float, 3> singularValues{};
  std::vector<float> leftVectors(static_cast<std::size_t>(cnt * cnt));
  std::array<float, 9> rightVectorsT{};
  std::vector<float> work(static_cast<std::size_t>(workSize));
  int info = 0;
  sgesvd_("A", "A", &cnt, &columns, centred.data(), &cnt, singularValues.data(), leftVectors.data(),
          &cnt, rightVectorsT.data(), &columns, work.data(), &workSize, &info, 1, 1);
  if (info != 0) return kFitFailed;

  // First row of V transposed (column-major, leading dimension 3).
  const Position direction{rightVectorsT[0], rightVectorsT[3], rightVectorsT[6]};
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(centroid[axis]) || !std::isfinite(direction[axis])) return kFitFailed;
  }
  out = {centroid[0], centroid[1], centroid[2], direction[0], direction[1], direction[2]};
  return kFitDone;
}

void ApplyMotionOffset(const ArmRecord& record, MotionTracker& tracker, Pose& pose) {
  if (tracker.acceptedCount > MotionTracker::kRingSize - 1) {
    tracker.acceptedCount = MotionTracker::kRingSize;
  }
  const int cnt = tracker.acceptedCount;
  std::array<double, 6> line{};
  if (cnt > 1 &&
      FitMotionLine(std::span(tracker.ringPositions).first(static_cast<std::size_t>(cnt)), line) ==
          kFitDone) {
    // The fitted line has no sign: orient it the way the probe moved from the centroid.
    const double* fitted = &line[3];
    const int axis = DominantAxis(fitted);
    const double travel = tracker.currentPosition[axis] - line[axis];
    const bool sameSign =
        (fitted[axis] > 0.0 && travel > 0.0) || (fitted[axis] < 0.0 && travel < 0.0);
    for (int i = 0; i < 3; ++i) tracker.direction[i] = sameSign ? fitted[i] : -fitted[i];
  }
  const double radius = record.probeRadius;
  pose[3] += radius * tracker.direction[0];
  pose[7] += radius * tracker.direction[1];
  pose[11] += radius * tracker.direction[2];
  tracker.ClearRing();
}

}  // namespace pilvo
