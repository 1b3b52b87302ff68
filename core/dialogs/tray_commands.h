// The tray menu's commands that may refuse to serve: each says whether its dialog may open,
// and when not, tells the operator why and changes nothing.
#pragma once

#include "data/local_text.h"
#include "session/operator_ports.h"

namespace pilvo {

struct ArmSessionState;

// Probes management: false, after "Probe management not available", when the probe table holds
// no probe.
bool ProbesManagementCommand(const ArmSessionState& state, Prompts& ui, const Language& language);

// Battery: false, after "Battery not available.", unless the working record has a battery and
// the board's firmware (`firmwareCode`) reports the supply.
bool BatteryCommand(const ArmSessionState& state, int firmwareCode, Prompts& ui,
                    const Language& language);

}  // namespace pilvo
