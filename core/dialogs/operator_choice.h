// Which operator a program without windows talks to, chosen by the environment:
// PILVO_OPERATOR unset or "console": the console operator on standard error;
// PILVO_OPERATOR="script:FILE": the scripted operator answering from FILE.
#pragma once

#include <memory>

#include "dialogs/operator.h"

namespace pilvo {

// Never null: an unreadable script or an unknown value gives the console operator, after a line
// on standard error saying why.
std::unique_ptr<Operator> MakeOperatorFromEnvironment();

}  // namespace pilvo
