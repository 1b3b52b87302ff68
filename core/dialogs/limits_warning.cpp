#include "dialogs/limits_warning.h"

#include <algorithm>

#include "data/local_text.h"
#include "data/settings.h"
#include "measure/transforms.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr int kTextRotatingTable = 2019;
constexpr int kTextJointLimits = 2443;

constexpr std::string_view kSection = "Options";
constexpr std::string_view kSizeKey = "LimitResize";
constexpr std::string_view kAudioKey = "LimitsAudio";

// The view shows the first six joints; joint 7 keeps its place.
constexpr std::size_t kJointsShown = 6;

bool ReadFlag(std::string_view key, const ProductContext& context) {
  return GetSettingInt(kSection, key, 0, context.productStore()) == 1;
}

void WriteFlag(std::string_view key, bool on, const ProductContext& context) {
  WriteSettingInt(kSection, key, on ? 1 : 0, context.productStore());
}

}  // namespace

LimitsWarning::LimitsWarning(const ProductContext& context)
    : context_(context),
      title_("Pilvo3D: " + LocalText(kTextJointLimits, context.language())),
      viewPose_{.angles = {}, .unmarkedMask = 0},
      enlarged_(ReadFlag(kSizeKey, context)),
      audio_(ReadFlag(kAudioKey, context)) {}

void LimitsWarning::LabelJoints(const ArmSessionState& state) {
  const ArmRecord& main = state.tab.main;
  jointCount_ = std::clamp(main.jointCount, 0, kMaxJoints);
  const int shown = std::max(jointCount_ - (main.options.insertedAxis ? 1 : 0), 0);
  jointLabels_.clear();
  for (int joint = 1; joint <= shown; ++joint) {
    jointLabels_.push_back("ENCODER " + std::to_string(joint));
  }
  if (main.options.tableChannel && shown > 0)
    jointLabels_.back() = LocalText(kTextRotatingTable, context_.language());
  viewPose_.variantGeometry = UsesVariantGeometry(main.armVariant);
  viewPose_.rotatingProbe = DrawsRotatingProbe(state);
}

void LimitsWarning::ToggleEnlarged() {
  enlarged_ = !enlarged_;
  WriteFlag(kSizeKey, enlarged_, context_);
}

void LimitsWarning::ToggleAudio() {
  audio_ = !audio_;
  WriteFlag(kAudioKey, audio_, context_);
}

bool LimitsWarning::Update(std::uint32_t outMask, std::span<const double> radians) {
  indicatorMask_ = outMask & ((1u << jointCount_) - 1);
  const std::size_t shown = std::min(radians.size(), kJointsShown);
  for (std::size_t joint = 0; joint < shown; ++joint) {
    viewPose_.angles[joint] = radians[joint] * kRadiansToDegrees;
  }
  viewPose_.unmarkedMask = static_cast<std::uint16_t>(outMask);
  return audio_;
}

}  // namespace pilvo
