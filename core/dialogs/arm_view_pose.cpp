#include "dialogs/arm_view_pose.h"

#include "measure/transforms.h"
#include "session/arm_session.h"
#include "session/probe_table.h"

namespace pilvo {
namespace {

// Degrees at which a joint that has not passed its mark is drawn.
constexpr std::array<double, kArmViewJoints> kStandardRestPose{15.0, -65.0, 0.0, 125.0,
                                                               0.0,  0.0,   0.0};
constexpr std::array<double, kArmViewJoints> kVariantRestPose{15.0, 0.0, 0.0, -90.0, 0.0, 0.0, 0.0};
constexpr int kThirdJoint = 2;

}  // namespace

bool UsesVariantGeometry(std::int32_t armVariant) {
  switch (armVariant) {
    case 2:
    case 3:
    case 5:
    case 7:
    case 9:
      return true;
    default:
      return false;
  }
}

bool DrawsRotatingProbe(const ArmSessionState& state) {
  return state.tab.main.options.board3ThirdAxis &&
         SelectedProbeRecord(state).options.board3ThirdAxisCompanion;
}

ArmViewPose ResetViewPose(std::uint32_t markMask, const std::array<double, kMaxJoints>& radians,
                          bool variantGeometry) {
  ArmViewPose pose{.angles = variantGeometry ? kVariantRestPose : kStandardRestPose,
                   .unmarkedMask = kAllJointsUnmarked,
                   .variantGeometry = variantGeometry};
  for (int joint = 0; joint < kArmViewJoints; ++joint) {
    if ((markMask >> joint & 1u) == 0) continue;
    pose.unmarkedMask = static_cast<std::uint16_t>(pose.unmarkedMask & ~(1u << joint));
    const bool heldAtZero = joint == kThirdJoint && !variantGeometry;
    pose.angles[joint] = heldAtZero ? 0.0 : radians[joint] * kRadiansToDegrees;
  }
  return pose;
}

}  // namespace pilvo
