// The views of the modal arm status dialogs: each runs its model, driving its 100 ms timer and
// forwarding the operator's controls, and returns once the model has closed.
#pragma once

namespace pilvo {

class AlignmentProcedure;
class ResetProcedure;
class TemperatureChoice;

class DialogViews {
 public:
  virtual ~DialogViews() = default;

  virtual void RunResetDialog(ResetProcedure& procedure) = 0;
  virtual void RunTemperatureDialog(TemperatureChoice& choice) = 0;
  virtual void RunAlignmentDialog(AlignmentProcedure& procedure) = 0;
};

}  // namespace pilvo
