#include "report_json.h"

#include "pilvo_tab/tab_json.h"

namespace pilvo {

nlohmann::ordered_json ReportToJson(const ReportFile& report) {
  using nlohmann::ordered_json;
  ordered_json zones = ordered_json::array();
  for (const ReportZone& zone : report.zones) {
    ordered_json points = ordered_json::array();
    for (const ReportPoint& point : zone.points) {
      points.push_back({{"position", point.position},
                        {"temperatures", point.temperatures},
                        {"jointCounts", point.jointCounts}});
    }
    zones.push_back({{"type", static_cast<int>(zone.type)}, {"points", std::move(points)}});
  }
  return {{"tab", TabToJson(report.tab)},
          {"zones", std::move(zones)},
          {"texts", report.texts},
          {"language", report.language},
          {"barLength", report.barLength}};
}

}  // namespace pilvo
