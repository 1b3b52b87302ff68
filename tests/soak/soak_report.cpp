#include "soak/soak_report.h"

#include <iomanip>
#include <sstream>

namespace pilvo::soak {
namespace {

// "-2 x167, -1 x3", or "-" when nothing was seen.
std::string CodesText(const std::map<std::int32_t, int>& codes) {
  if (codes.empty()) return "-";
  std::ostringstream text;
  for (const auto& [code, count] : codes) {
    if (text.tellp() > 0) text << ", ";
    text << code << " x" << count;
  }
  return text.str();
}

// The size classes of ErrorSizes, by the largest joint error.
constexpr const char* kSizesLegend = " (a joint off <0.01 / <1 / >=1 deg)";

std::string OutOf(int part, int whole) {
  return std::to_string(part) + " of " + std::to_string(whole);
}

void Line(std::ostream& out, const std::string& label, const std::string& value) {
  out << "  " << std::left << std::setw(32) << label << value << '\n';
}

// "0 / 3 / 331", smallest first.
std::string SizesText(const ErrorSizes& sizes) {
  std::string text;
  for (const int count : sizes) text += (text.empty() ? "" : " / ") + std::to_string(count);
  return text;
}

}  // namespace

std::size_t ErrorSizeOf(double degrees) {
  for (std::size_t size = 0; size < kJointErrorBounds.size(); ++size) {
    if (degrees < kJointErrorBounds[size]) return size;
  }
  return kJointErrorBounds.size();  // NaN too
}

void AddViolation(LinkReport& report, const std::string& what) {
  ++report.violationCount;
  if (report.violations.size() < kViolationsShown) report.violations.push_back(what);
}

void CheckResidentGrowth(LinkReport& report, bool tellsLeaks) {
  report.residentChecked = tellsLeaks;
  const ResidentSet& resident = report.resident;
  // A soak that stopped before the warm-up ended has nothing to compare.
  if (!tellsLeaks || resident.warmKb < 0 || resident.endKb < 0) return;
  if (resident.endKb - resident.warmKb > kResidentGrowthBoundKb) {
    AddViolation(report, "the resident set grew by " +
                             std::to_string(resident.endKb - resident.warmKb) +
                             " kB after the warm-up");
  }
}

void PrintReport(const LinkReport& report, std::ostream& out) {
  out << NameOf(report.link) << " link, arm " << report.arm << '\n';
  Line(out, "readings", std::to_string(report.readings));
  Line(out, "successful", std::to_string(report.successful));
  int injected = 0;
  ErrorSizes wrong{};
  for (const auto& [kind, tally] : report.kinds) {
    injected += tally.injected;
    for (std::size_t size = 0; size < wrong.size(); ++size) wrong[size] += tally.offTruth[size];
  }
  Line(out, "faults injected", std::to_string(injected));
  Line(out, "wrong poses reported as success", SizesText(wrong) + kSizesLegend);
  Line(out, "recoveries (ResetEncoder 0)", std::to_string(report.recoveries));
  Line(out, "right reading after recovery",
       OutOf(report.rightAfterRecovery, report.readingsAfterRecovery));
  Line(out, "right reading after corruption",
       OutOf(report.rightAfterCorruption, report.readingsAfterCorruption));
  const ResidentSet& resident = report.resident;
  std::ostringstream memory;
  memory << "start " << resident.startKb << ", after warm-up " << resident.warmKb << ", end "
         << resident.endKb << " (" << std::showpos << resident.endKb - resident.warmKb
         << std::noshowpos << " after warm-up; "
         << (report.residentChecked ? "bound " + std::to_string(kResidentGrowthBoundKb)
                                    : std::string("not checked under AddressSanitizer"))
         << ")";
  Line(out, "resident set, kB", memory.str());
  std::ostringstream elapsed;
  elapsed << std::fixed << std::setprecision(1) << report.seconds << " s";
  Line(out, "elapsed", elapsed.str());

  out << '\n'
      << "  " << std::left << std::setw(15) << "fault" << std::right << std::setw(9) << "injected"
      << "  " << std::left << std::setw(22) << "reading codes" << std::setw(26)
      << "failed resets (codes)" << std::right << std::setw(9) << "recovered"
      << "  wrong poses" << kSizesLegend << "\n";
  for (const auto& [kind, tally] : report.kinds) {
    out << "  " << std::left << std::setw(15) << NameOf(kind) << std::right << std::setw(9)
        << tally.injected << "  " << std::left << std::setw(22) << CodesText(tally.readingCodes)
        << std::setw(26) << CodesText(tally.resetCodes) << std::right << std::setw(9)
        << tally.recovered << "  ";
    if (PassesLinkChecks(report.link, kind)) {
      out << SizesText(tally.offTruth) << " of " << tally.injected << '\n';
    } else {
      out << "-\n";
    }
  }

  out << '\n';
  if (report.violationCount == 0) {
    out << "  violations: none\n";
    return;
  }
  out << "  violations: " << report.violationCount << '\n';
  for (const std::string& violation : report.violations) out << "    " << violation << '\n';
  if (report.violationCount > static_cast<int>(report.violations.size())) {
    out << "    ...\n";
  }
}

}  // namespace pilvo::soak
