// The battery line of the battery display: charge in percent and the time left.
#pragma once

#include <string>

#include "data/arm_record.h"
#include "data/local_text.h"

namespace pilvo {

// The localised text for supply reading `reading` against the record's three thresholds and
// battery capacity: "!" and a charge in tenths below threshold 2 (discharging), else the
// charge in percent.
std::string SupplyStateText(double reading, const ArmRecord& record, const Language& language);

}  // namespace pilvo
