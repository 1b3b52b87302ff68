// A report file as JSON: the arm's TAB data as pilvo-tab gives it, then the zones and the
// report's own values.
#pragma once

#include <nlohmann/json.hpp>

#include "data/report_file.h"

namespace pilvo {

nlohmann::ordered_json ReportToJson(const ReportFile& report);

}  // namespace pilvo
