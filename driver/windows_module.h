// The library's windows live in a module of their own (libpilvo-ui.so, beside the library), so
// that a client without a display loads no GUI library at all.
#pragma once

#include <memory>
#include <string>

#include "data/local_text.h"
#include "dialogs/operator.h"

namespace pilvo {

// The operator with windows in `language`, or null with the reason in `why` when the module
// cannot be loaded or Qt cannot start. The module stays loaded for the rest of the process: Qt
// cannot be unloaded safely.
std::unique_ptr<Operator> StartWindowsModule(const Language& language, std::string& why);

}  // namespace pilvo
