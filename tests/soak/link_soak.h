// One link's soak: a client of libpilvo.so reads a demo arm served by this process, moving it
// between readings, while the arm suffers seeded random faults; the client starts again from
// ResetEncoder after every failed reading, as the driver asks of its clients.
#pragma once

#include <cstdint>
#include <string>

#include "soak/fault_plan.h"
#include "soak/soak_report.h"

namespace pilvo::soak {

struct SoakSettings {
  int readings = 200000;  // per link
  std::uint32_t seed = 1;
  double faultRate = 0.005;  // the chance of a fault at a reading
};

// Runs the soak of `link` against the library at `library`. The USB arm is reached through the
// USB access library that the process finds (the simulator flavour, by LD_LIBRARY_PATH).
LinkReport RunLinkSoak(SoakLink link, const SoakSettings& settings, const std::string& library);

}  // namespace pilvo::soak
