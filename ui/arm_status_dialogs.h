// The modal arm status windows over their models: the reset dialog with its 3-D view, the
// temperature dialog and the alignment window. Each runs its own event loop until the model
// closes, driving the model's 100 ms timer.
#pragma once

namespace pilvo {

class AlignmentProcedure;
class ResetProcedure;
class TemperatureChoice;

void ExecResetDialog(ResetProcedure& procedure);
void ExecTemperatureDialog(TemperatureChoice& choice);
void ExecAlignmentDialog(AlignmentProcedure& procedure);

}  // namespace pilvo
