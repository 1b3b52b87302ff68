// The rows of the TAB information window: what a service technician checks of an arm's file.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/arm_record.h"
#include "data/local_text.h"

namespace pilvo::wizard {

struct TabInfoRow {
  std::string parameter;
  std::string value;
  bool operator==(const TabInfoRow&) const = default;
};

// The version tag of a signature ("t44"), however the signature ends.
std::string SignatureText(const std::array<char, 4>& signature);

// The fourteen rows, in the current language. Most come from the record as read (`asRead`);
// the probe scanner trigger, the connection speed, the additional scanner axis and the joint
// limits come from the working record, which the probe in use may have changed.
std::vector<TabInfoRow> TabInfoRows(const ArmRecord& asRead, const ArmRecord& working,
                                    const Language& language);

}  // namespace pilvo::wizard
