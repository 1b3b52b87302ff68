#include "wizard/model/battery_monitor.h"

#include <locale.h>

#include <cstdlib>
#include <system_error>

#include "data/local_text.h"
#include "data/number_text.h"
#include "data/settings.h"

namespace pilvo::wizard {
namespace {

constexpr double kVoltsPerUnit = 0.01953125;
constexpr int kFirstSupplyFirmware = 15;

// Dates and times of the log in the C conventions, whatever the desktop's language.
std::string CTime(const char* format, std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[128];
  const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
  const std::size_t size = ::strftime_l(text, sizeof text, format, &local, c);
  ::freelocale(c);
  return std::string(text, size);
}

}  // namespace

double SupplyVolts(double reading) {
  return reading * kVoltsPerUnit;
}

std::optional<BatteryBarUpdate> BatteryBar(const PowerState& power, const std::string& chargeText,
                                           const Language& language) {
  if (power.firmwareCode < kFirstSupplyFirmware) return std::nullopt;
  if (power.batteryPresent > 0 && power.onBattery) {
    return BatteryBarUpdate{static_cast<int>(power.supplyReading), chargeText};
  }
  return BatteryBarUpdate{0, LocalText(2309, language)};
}

std::string PowerSupplyField(const PowerState& power, const std::string& lastBoardVoltage) {
  if (power.firmwareCode < kFirstSupplyFirmware) return " -";
  if (power.batteryPresent == 0) return lastBoardVoltage;
  return FixedText(SupplyVolts(power.supplyReading), 2) + (power.onBattery ? "V B" : "V P");
}

BatteryLog::BatteryLog(int seconds, std::filesystem::path path)
    : seconds_(seconds > 0 ? seconds : 0), path_(std::move(path)) {}

bool BatteryLog::Start(std::time_t now) {
  file_.reset();
  lastLine_.reset();
  if (seconds_ == 0) return false;
  std::error_code ignored;
  std::filesystem::create_directories(path_.parent_path(), ignored);
  file_.reset(std::fopen(path_.c_str(), "w"));
  if (!file_) {
    seconds_ = 0;
    return false;
  }
  std::fprintf(file_.get(), "Pilvo3D battery log: %s\n", CTime("%A, %B %d, %Y", now).c_str());
  std::fflush(file_.get());
  return true;
}

void BatteryLog::Stop() {
  file_.reset();
}

std::optional<std::string> BatteryLog::LineIfDue(std::uint32_t tick, double supplyReading,
                                                 std::time_t now) {
  if (!file_) return std::nullopt;
  if (lastLine_ && static_cast<std::int32_t>(tick - *lastLine_) <= seconds_ * 1000) {
    return std::nullopt;
  }
  lastLine_ = tick;
  std::string line = CTime("%H:%M:%S", now) + "\t" + FixedText(SupplyVolts(supplyReading), 2);
  std::fprintf(file_.get(), "%s\n", line.c_str());
  std::fflush(file_.get());
  return line;
}

int StoredBatteryLogSeconds(const SettingsStore& profileStore) {
  const auto stored =
      static_cast<std::int32_t>(GetSettingInt("BatteryLog", "Enable", -1, profileStore));
  if (stored >= 0) return stored;
  WriteSettingInt("BatteryLog", "Enable", 0, profileStore);
  return 0;
}

std::filesystem::path DefaultBatteryLogPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::filesystem::path folder;
  if (data != nullptr && *data == '/') {
    folder = data;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share";
  }
  return folder / "Kelmorad" / "logBattery.txt";
}

}  // namespace pilvo::wizard
