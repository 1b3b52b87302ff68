// The joint-limits warning: a modeless window over its model, made once and then shown and
// hidden, with the joint indicators, the 3-D view, the enlarge button and the audio box.
#pragma once

#include <QDialog>
#include <cstdint>
#include <span>

#include "dialogs/limits_warning.h"

class QCheckBox;
class QPushButton;

namespace pilvo {

class ArmView;
class JointIndicators;
struct ArmSessionState;

class LimitsWindow : public QDialog {
 public:
  // `context`, the session's, outlives the window.
  explicit LimitsWindow(const ProductContext& context);

  // Labels the joints of the arm of `state` and shows the window.
  void Open(const ArmSessionState& state);
  // Shows the window if hidden, lights the joints outside their range and moves the view. True
  // when it must beep.
  bool Update(std::uint32_t outMask, std::span<const double> radians);

 private:
  void LayOut();

  LimitsWarning model_;
  JointIndicators* indicators_;
  QPushButton* enlarge_;
  QCheckBox* audio_;
  ArmView* view_;
};

}  // namespace pilvo
