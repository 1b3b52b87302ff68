// Whether an encoder read can be the arm's. The board protocol has no checksum: a reply spoilt
// on the wire but of the right length decodes like a good one. A hand cannot turn a joint
// faster than a certain speed, so joint values that moved further since the last reading than
// that speed allows in the time between are suspect; a real move shows again when the board is
// read once more, a spoilt reply does not.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "data/arm_record.h"

namespace pilvo {

// The fastest a hand turns a joint of the arm. A flick of the operator's wrist turns the last
// joints at up to about 700 degrees a second; the joints near the base, carried by the whole
// arm of the operator, turn far slower. The rest is margin.
inline constexpr double kMaxJointDegreesPerSecond = 1000.0;

// After a pause this long a joint at full speed may have turned most of a turn: the comparison
// would tell nothing, and the reading is taken as it comes.
inline constexpr std::uint32_t kPlausibilityWindowMs = 300;

// True when no joint moved from `from` to `to` faster than a hand can turn it in `elapsedMs`.
// countsPerDegree holds one value per joint compared.
bool WithinReach(const std::array<double, kMaxJoints>& from,
                 const std::array<double, kMaxJoints>& to, std::uint32_t elapsedMs,
                 std::span<const double> countsPerDegree);

// The last reading taken, which the next is judged by.
class ReadingPlausibility {
 public:
  // True when `joints`, read at `now` (ms), can follow the last reading taken: always when
  // there is none, or after a pause longer than kPlausibilityWindowMs.
  bool Plausible(const std::array<double, kMaxJoints>& joints, std::uint32_t now,
                 std::span<const double> countsPerDegree) const;
  void Take(const std::array<double, kMaxJoints>& joints, std::uint32_t now);
  // Nothing to judge the next reading by: the link was closed, or the counts were referenced
  // again.
  void Forget() { held_ = false; }

 private:
  std::array<double, kMaxJoints> joints_{};
  std::uint32_t at_ = 0;
  bool held_ = false;
};

}  // namespace pilvo
