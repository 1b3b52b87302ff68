#include "measure/reading_plausibility.h"

#include <cmath>

namespace pilvo {

bool WithinReach(const std::array<double, kMaxJoints>& from,
                 const std::array<double, kMaxJoints>& to, std::uint32_t elapsedMs,
                 std::span<const double> countsPerDegree) {
  // The clock counts whole milliseconds: readings one tick apart may be nearly two apart.
  const double degrees = kMaxJointDegreesPerSecond * 0.001 * (elapsedMs + 1.0);
  for (std::size_t joint = 0; joint < countsPerDegree.size() && joint < kMaxJoints; ++joint) {
    if (std::abs(to[joint] - from[joint]) > degrees * std::abs(countsPerDegree[joint])) {
      return false;
    }
  }
  return true;
}

bool ReadingPlausibility::Plausible(const std::array<double, kMaxJoints>& joints, std::uint32_t now,
                                    std::span<const double> countsPerDegree) const {
  const std::uint32_t elapsed = now - at_;  // wraps with the clock
  return !held_ || elapsed > kPlausibilityWindowMs ||
         WithinReach(joints_, joints, elapsed, countsPerDegree);
}

void ReadingPlausibility::Take(const std::array<double, kMaxJoints>& joints, std::uint32_t now) {
  joints_ = joints;
  at_ = now;
  held_ = true;
}

}  // namespace pilvo
