// The arm status dialogs as the measurement core opens them: each builds the dialog's model,
// hands it to the operator interface to run modally, and returns what the dialog ended with.
#pragma once

#include <cstdint>
#include <string>

#include "measure/alignment_acquisition.h"

namespace pilvo {

class ArmSession;

// What the initialisation tells the reset dialog.
struct ResetDialogSetup {
  std::string tabPath;
  bool temperatureCompensation = false;
  std::int32_t temperatureSensors = 0;  // 0: the ambient temperature is typed in the dialog
  std::int32_t ambientTemperature = 21;  // degrees C
  bool probeManagement = false;          // the probe choice is offered
  std::int32_t toolInUse = 0;
};

struct ResetDialogOutcome {
  bool ok = false;
  std::int32_t cancelCode = 0;          // after Cancel: 0 for the button, else the negative
                                        // status of the reference-mark query that ended it
  std::int32_t ambientTemperature = 21;  // after OK
  std::int32_t toolInUse = 0;            // after OK: the probe chosen
};

// The reset dialog: the marks and counts polled every 100 ms until every required mark is found
// (OK) or the operator or a failed mark query cancels it.
ResetDialogOutcome RunResetDialog(ArmSession& session, const ResetDialogSetup& setup);

// The temperature dialog: the ambient temperature in degrees C (0 … 40) the operator confirms,
// starting from `current`.
std::int32_t RunTemperatureDialog(ArmSession& session, std::int32_t current);

// The alignment dialog of the user frame and the rotating table, reading `session`.
AlignmentDialog MakeAlignmentDialog(ArmSession& session);

}  // namespace pilvo
