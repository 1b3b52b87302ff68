#include "dialogs/arm_dialogs.h"

#include "dialogs/alignment_procedure.h"
#include "dialogs/operator_interface.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"
#include "measure/arm_session.h"

namespace pilvo {

ResetDialogOutcome RunResetDialog(ArmSession& session, const ResetDialogSetup& setup) {
  ResetProcedure procedure(session, setup);
  session.ui().RunResetDialog(procedure);
  return procedure.outcome();
}

std::int32_t RunTemperatureDialog(ArmSession& session, std::int32_t current) {
  TemperatureChoice choice(current);
  session.ui().RunTemperatureDialog(choice);
  return choice.temperature();
}

AlignmentDialog MakeAlignmentDialog(ArmSession& session) {
  return [&session](AlignmentVariant variant, bool offerReuse) {
    AlignmentProcedure procedure(session, variant, offerReuse);
    session.ui().RunAlignmentDialog(procedure);
    return procedure.result();
  };
}

}  // namespace pilvo
