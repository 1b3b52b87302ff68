#include "report_csv.h"

#include "data/number_text.h"

namespace pilvo {
namespace {

void AppendNumbers(std::string& row, const auto& values, int decimals) {
  for (const double value : values) row += ',' + FixedText(value, decimals);
}

}  // namespace

std::string ReportToCsv(const ReportFile& report) {
  std::string csv = "zone,type,point,x,y,z,t1,t2,t3,c1,c2,c3,c4,c5,c6,c7,c8\n";
  for (std::size_t z = 0; z < report.zones.size(); ++z) {
    const ReportZone& zone = report.zones[z];
    for (std::size_t p = 0; p < zone.points.size(); ++p) {
      const ReportPoint& point = zone.points[p];
      csv += std::to_string(z) + ',' + std::to_string(static_cast<int>(zone.type)) + ',' +
             std::to_string(p);
      AppendNumbers(csv, point.position, 3);
      AppendNumbers(csv, point.temperatures, 3);
      AppendNumbers(csv, point.jointCounts, 0);
      csv += '\n';
    }
  }
  return csv;
}

}  // namespace pilvo
