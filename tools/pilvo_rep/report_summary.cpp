#include "report_summary.h"

#include "data/number_text.h"

namespace pilvo {
namespace {

// "PLANE type" … "FORK type": 2330 + the zone type.
constexpr int kTextZoneTypes = 2330;

}  // namespace

void PrintReportSummary(std::ostream& out, const ReportFile& report, const Language& language) {
  const ArmRecord& arm = report.tab.main;
  out << "arm: " << arm.name << " (TAB " << std::string(arm.signature.data(), 3) << ", "
      << arm.jointCount << " joints)\nlanguage: " << report.language
      << "\nbar length: " << FixedText(report.barLength, 3) << " mm\ntexts:";
  for (const std::string& text : report.texts) out << " \"" << text << '"';
  out << "\nzones: " << report.zones.size() << '\n';
  for (std::size_t z = 0; z < report.zones.size(); ++z) {
    const ReportZone& zone = report.zones[z];
    out << "  " << z << ": " << LocalText(kTextZoneTypes + static_cast<int>(zone.type), language)
        << ", " << zone.points.size() << " points\n";
  }
}

}  // namespace pilvo
