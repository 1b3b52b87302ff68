// What one link's soak counted, and the summary table it prints.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "soak/fault_plan.h"

namespace pilvo::soak {

// The sizes that wrong poses are told by: the largest joint error below 0.01 degree, below 1
// degree, and 1 degree or more (or unknown).
inline constexpr std::array<double, 2> kJointErrorBounds = {0.01, 1.0};
using ErrorSizes = std::array<int, kJointErrorBounds.size() + 1>;

// The size class of a largest joint error, degrees: an index of ErrorSizes.
std::size_t ErrorSizeOf(double degrees);

struct KindTally {
  int injected = 0;
  std::map<std::int32_t, int> readingCodes;  // the result of each reading that met the fault
  std::map<std::int32_t, int> resetCodes;    // each failed ResetEncoder while it lasted
  int recovered = 0;                         // faults ended by a successful ResetEncoder
  // Faults that pass the link's checks: successful readings off the truth, by size.
  ErrorSizes offTruth{};
};

struct ResidentSet {
  long startKb = -1;  // before the library is loaded
  long warmKb = -1;   // after the warm-up readings
  long endKb = -1;    // after the last reading, the library still loaded
};

// Above this the resident set must not grow after the warm-up.
inline constexpr long kResidentGrowthBoundKb = 1024;

// The violations kept with their details; the rest are only counted.
inline constexpr std::size_t kViolationsShown = 20;

struct LinkReport {
  SoakLink link = SoakLink::Serial;
  std::string arm;
  int readings = 0;
  int successful = 0;
  std::map<Disturbance, KindTally> kinds;
  int recoveries = 0;  // successful ResetEncoder after a failure
  int readingsAfterRecovery = 0;
  int rightAfterRecovery = 0;
  int readingsAfterCorruption = 0;  // the clean reading after a fault that passes the checks
  int rightAfterCorruption = 0;
  ResidentSet resident;
  bool residentChecked = false;  // false where the resident set cannot tell leaks
  double seconds = 0.0;
  int violationCount = 0;
  std::vector<std::string> violations;  // the first kViolationsShown
};

// A broken promise of the driver, or a soak that could not go on.
void AddViolation(LinkReport& report, const std::string& what);

// The resident set must not grow by more than the bound after the warm-up; `tellsLeaks` false
// leaves it unchecked, and so does a soak that stopped before the end.
void CheckResidentGrowth(LinkReport& report, bool tellsLeaks);

// The table: the counts, one row per kind of fault, then the violations.
void PrintReport(const LinkReport& report, std::ostream& out);

}  // namespace pilvo::soak
