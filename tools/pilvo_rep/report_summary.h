// What a report file holds, for a person to read.
#pragma once

#include <ostream>

#include "data/local_text.h"
#include "data/report_file.h"

namespace pilvo {

// The arm, the zones with their types (in `language`) and point counts, the bar length and
// the report texts.
void PrintReportSummary(std::ostream& out, const ReportFile& report, const Language& language);

}  // namespace pilvo
