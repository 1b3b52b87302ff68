// What the port choice of the wizard asks of the ports: can one be opened, and what answers on
// it. Detect initialises whatever is on a port: use it only on the wizard's own session.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "data/settings.h"
#include "session/arm_session.h"
#include "wizard/model/port_selection.h"

namespace pilvo::wizard {

// True when port n can be opened for reading and writing by this program alone right now.
bool PortCanBeOpened(int port, const SettingsStore& profileStore);

// The device path port n stands for, as the link would open it.
std::optional<std::string> PortDevicePath(int port, const SettingsStore& profileStore);

// Loads `tab`, initialises the arm at rest on port n and sends the five-byte echo test: an arm
// answers, a modem repeats the request. The port is closed again whatever happens.
PortDevice DetectArmOnPort(ArmSession& session, int port, const std::filesystem::path& tab);

}  // namespace pilvo::wizard
