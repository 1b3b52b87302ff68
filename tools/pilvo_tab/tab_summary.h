// The main fields of a TAB file and its probes, for a person to read.
#pragma once

#include <ostream>

#include "data/tab_file.h"

namespace pilvo {

void PrintTabSummary(std::ostream& out, const TabContents& contents);

}  // namespace pilvo
