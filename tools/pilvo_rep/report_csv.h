// The points of a report file as CSV, one row per point after a header row.
#pragma once

#include <string>

#include "data/report_file.h"

namespace pilvo {

// Columns zone, type, point (numbered from 0 as in the file), x, y, z, t1 … t3, c1 … c8; the
// numbers as the file holds them, with a "." before the decimals.
std::string ReportToCsv(const ReportFile& report);

}  // namespace pilvo
