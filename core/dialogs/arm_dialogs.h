// The arm status dialogs as the session opens them: each builds the dialog's model, hands it to
// the views to run modally, and returns what the dialog ended with.
#pragma once

#include "dialogs/dialog_views.h"
#include "session/operator_ports.h"

namespace pilvo {

class ModelArmDialogs final : public ArmDialogs {
 public:
  explicit ModelArmDialogs(DialogViews& views) : views_(views) {}

  ResetDialogOutcome RunResetDialog(ArmSession& session, const ResetDialogSetup& setup) override;
  std::int32_t RunTemperatureDialog(const ArmSession& session, std::int32_t current) override;
  AlignmentDialog MakeAlignmentDialog(ArmSession& session) override;

 private:
  DialogViews& views_;
};

}  // namespace pilvo
