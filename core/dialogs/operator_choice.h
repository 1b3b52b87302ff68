// Which operator a program talks to, chosen by the environment:
// PILVO_OPERATOR="console": the console operator on standard error;
// PILVO_OPERATOR="script:FILE": the scripted operator answering from FILE;
// otherwise the windows when a display is there (DISPLAY or WAYLAND_DISPLAY) and they can
// start, else the console.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dialogs/operator.h"

namespace pilvo {

// Starts the windows: an operator, or null after putting the reason into `why`.
using WindowsStarter = std::function<std::unique_ptr<Operator>(std::string& why)>;

// Never null: an unreadable script, an unknown value or windows that cannot start give the
// console operator, after a line on standard error saying why. Without `windows` (a program
// that has none) the console answers when no script is named.
std::unique_ptr<Operator> MakeOperatorFromEnvironment(const WindowsStarter& windows = {});

}  // namespace pilvo
