// Where the running code was loaded from.
#pragma once

#include <filesystem>

namespace pilvo {

// The absolute, symlink-free path of the loaded object (shared library or main program) that
// contains `address`; empty when no loaded file contains it.
std::filesystem::path ModulePathOf(const void* address);

}  // namespace pilvo
