// The joint-limits warning's model: a modeless window shown while a joint is outside its range,
// with one indicator per joint, the arm drawn with the offending joints in the warning colour,
// a button that shows or hides the 3-D view and an audio box. Its size and audio are kept in
// "Options"/"LimitResize" and "LimitsAudio" of the product store.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "data/product_context.h"
#include "dialogs/arm_view_pose.h"

namespace pilvo {

struct ArmSessionState;

class LimitsWarning {
 public:
  // Its texts and settings are those of `context`, which outlives it.
  explicit LimitsWarning(const ProductContext& context);

  // One label per joint of the arm of `state`, the table channel's reading "ROTATING TABLE".
  void LabelJoints(const ArmSessionState& state);

  const std::string& title() const { return title_; }
  const std::vector<std::string>& jointLabels() const { return jointLabels_; }
  // Bit i: indicator i is lit, joint i is outside its range.
  std::uint32_t indicatorMask() const { return indicatorMask_; }
  const ArmViewPose& viewPose() const { return viewPose_; }

  // Enlarged: the window with the 3-D view, its button reading "<<"; else ">>".
  bool enlarged() const { return enlarged_; }
  const char* enlargeButtonText() const { return enlarged_ ? "<<" : ">>"; }
  // The arrows say nothing to a screen reader: the button's accessible name.
  const char* enlargeButtonName() const { return enlarged_ ? "Reduce" : "Enlarge"; }
  void ToggleEnlarged();

  bool audio() const { return audio_; }
  void ToggleAudio();

  // A reading with joints outside their range (bit i of `outMask`: joint i; `radians`, one per
  // joint). True when the window must beep: at every update while the audio is on. Allocates
  // nothing: it runs on the reading path.
  bool Update(std::uint32_t outMask, std::span<const double> radians);

 private:
  const ProductContext& context_;
  std::string title_;
  std::vector<std::string> jointLabels_;
  int jointCount_ = 0;
  std::uint32_t indicatorMask_ = 0;
  ArmViewPose viewPose_;
  bool enlarged_;
  bool audio_;
};

}  // namespace pilvo
