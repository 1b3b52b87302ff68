// Spoiling replies on purpose, as a failing cable or board would.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/arm_state.h"

namespace pilvo::sim {

enum class Link { Usb, Serial };

// Applies the planned fault to a reply that is about to go out and counts it down. An empty
// reply, or one to another command than the planned one, is left alone and does not count.
void ApplyFault(FaultPlan& plan, Link link, std::vector<std::uint8_t>& reply);

}  // namespace pilvo::sim
