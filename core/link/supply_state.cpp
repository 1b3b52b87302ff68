#include "link/supply_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "data/local_text.h"

namespace pilvo {
namespace {

constexpr int kTextBattery = 2352;
constexpr int kTextCharge = 2353;
constexpr int kTextRemain = 2354;
constexpr int kTextDischarge = 2356;

// (reading - from) x 100 / (to - from) truncated toward zero. Thresholds that do not rise give
// the end of the scale the reading is on, instead of a division by zero.
int PercentBetween(double reading, double from, double to) {
  if (!(to > from)) return reading >= to ? 100 : 0;
  const double percent = std::trunc((reading - from) * 100.0 / (to - from));
  if (std::isnan(percent)) return 0;
  return static_cast<int>(std::clamp(percent, -1000.0, 1000.0));
}

}  // namespace

std::string SupplyStateText(double reading, const ArmRecord& record, const Language& language) {
  const std::array<double, 3> thresholds = SupplyThresholds(record);
  const int capacity = record.batteryCapacity;
  const char* prefix = "";
  int shown = 0;
  int minutesLeft = 0;
  if (reading < thresholds[1]) {
    const int p = std::clamp(PercentBetween(reading, thresholds[0], thresholds[1]), 0, 100);
    shown = p / 10;
    minutesLeft = static_cast<int>(static_cast<long long>(capacity / 10) * p / 100);
    prefix = "!";
  } else {
    const int p =
        std::min(std::max(PercentBetween(reading, thresholds[1], thresholds[2]), 0) + 5, 100);
    shown = p;
    minutesLeft = static_cast<int>((static_cast<long long>(capacity) * p) / 100);
  }
  const int hours = minutesLeft / 60;
  const int minutes = minutesLeft % 60;

  std::array<char, 512> text{};
  if (shown < 1) {
    std::snprintf(text.data(), text.size(), "%s %s", LocalText(kTextBattery, language).c_str(),
                  LocalText(kTextDischarge, language).c_str());
  } else if (hours >= 1) {
    std::snprintf(text.data(), text.size(), "%s %s %i%% %s %ih, %imin", prefix,
                  LocalText(kTextCharge, language).c_str(), shown,
                  LocalText(kTextRemain, language).c_str(), hours, minutes);
  } else {
    std::snprintf(text.data(), text.size(), "%s %s %i%% %s %imin", prefix,
                  LocalText(kTextCharge, language).c_str(), shown,
                  LocalText(kTextRemain, language).c_str(), minutes);
  }
  return text.data();
}

}  // namespace pilvo
