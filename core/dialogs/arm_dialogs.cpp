#include "dialogs/arm_dialogs.h"

#include "dialogs/alignment_procedure.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"
#include "session/arm_session.h"

namespace pilvo {

ResetDialogOutcome ModelArmDialogs::RunResetDialog(ArmSession& session,
                                                   const ResetDialogSetup& setup) {
  ResetProcedure procedure(session, setup);
  views_.RunResetDialog(procedure);
  return procedure.outcome();
}

std::int32_t ModelArmDialogs::RunTemperatureDialog(const ArmSession& session,
                                                   std::int32_t current) {
  TemperatureChoice choice(current, session.language());
  views_.RunTemperatureDialog(choice);
  return choice.temperature();
}

AlignmentDialog ModelArmDialogs::MakeAlignmentDialog(ArmSession& session) {
  return [this, &session](AlignmentVariant variant, bool offerReuse) {
    AlignmentProcedure procedure(session, variant, offerReuse);
    views_.RunAlignmentDialog(procedure);
    return procedure.result();
  };
}

}  // namespace pilvo
