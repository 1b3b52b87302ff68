// What the 3-D arm view of the reset and limits dialogs draws: seven joint angles and which
// joints wear the warning colour.
#pragma once

#include <array>
#include <cstdint>

#include "data/arm_record.h"

namespace pilvo {

struct ArmSessionState;

inline constexpr int kArmViewJoints = 7;
inline constexpr std::uint16_t kAllJointsUnmarked = 0xFFFF;

struct ArmViewPose {
  std::array<double, kArmViewJoints> angles{};      // degrees, joint 1 first
  std::uint16_t unmarkedMask = kAllJointsUnmarked;  // bit i: joint i + 1 in the warning colour
  bool variantGeometry = false;  // the arm hangs from its base: other rest pose and camera
  bool rotatingProbe = false;    // joint 7 is drawn: the probe turns on board 3's third axis

  bool operator==(const ArmViewPose&) const = default;
};

// Arm variants 2, 3, 5, 7 and 9 are drawn in the variant geometry.
bool UsesVariantGeometry(std::int32_t armVariant);

// Joint 7 is a joint while the probe in use carries board 3's third axis.
bool DrawsRotatingProbe(const ArmSessionState& state);

// The view while the reset runs: each joint whose bit of `markMask` is set at its angle
// (`radians`, one per joint) in the normal colour, the others at the rest pose in the warning
// colour. The standard geometry keeps joint 3 at 0 even once it is marked.
ArmViewPose ResetViewPose(std::uint32_t markMask, const std::array<double, kMaxJoints>& radians,
                          bool variantGeometry);

}  // namespace pilvo
