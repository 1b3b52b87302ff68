// The motion tracker: follows the probe from reading to reading to know which way it travels,
// so that a point taken with button 1 can be pushed by the probe radius towards the surface
// that the ball touched.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "data/arm_record.h"
#include "measure/transforms.h"

namespace pilvo {

using Position = std::array<double, 3>;

struct MotionTracker {
  static constexpr int kRingSize = 10;

  std::int32_t clientSession = 0;  // 1 once a port has been opened; tracking needs it
  Position currentPosition{};      // of the latest reading
  Position lastAcceptedPosition{};
  Position midpoint{};   // running midpoint for the coarse direction
  Position direction{};  // used by the probe-radius push
  std::array<Position, kRingSize> ringPositions{};
  std::array<double, kRingSize> ringSteps{};
  std::int32_t acceptedCount = 0;  // steps accepted since the ring was last emptied
  std::int32_t ringIndex = 0;      // next slot

  // Forgets the accepted steps (count and index only): on every parameter load and after
  // every probe-radius push.
  void ClearRing() {
    acceptedCount = 0;
    ringIndex = 0;
  }

  bool operator==(const MotionTracker&) const = default;
};

// Steps (mm) the tracker compares with ">": shorter or equal ones are ignored.
inline constexpr double kAcceptedStep = 0.3;
inline constexpr double kCoarseDirectionStep = 1.0;

// Feeds the pose of one reading to the tracker. With no client session the direction is the
// probe axis (column 2 of the pose).
void TrackMotion(const Pose& pose, MotionTracker& tracker);

inline constexpr int kFitDone = 0;
inline constexpr int kFitTooFewPoints = -1;  // fewer than two positions
inline constexpr int kFitFailed = -2;  // no decomposition: LAPACK failed, sizes past its range,
                                       // or positions that are not finite

// The line through `positions` (at least two): out[0..2] the centroid, out[3..5] the principal
// direction as a unit vector, of either sign. `out` is left alone on failure.
int FitMotionLine(std::span<const Position> positions, std::array<double, 6>& out);

// Pushes the position of `pose` by the record's probe radius along the direction of motion,
// refined by the line through the accepted positions when there are two or more, then empties
// the ring.
void ApplyMotionOffset(const ArmRecord& record, MotionTracker& tracker, Pose& pose);

}  // namespace pilvo
