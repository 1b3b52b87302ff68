// The wizard's watch over the arm's power on a USB board: the power-supply field, the battery
// bar and status line, and the service log of the supply voltage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "data/local_text.h"
#include "data/settings.h"

namespace pilvo::wizard {

// What a reading left of the arm's power.
struct PowerState {
  int firmwareCode = 0;  // firmware version x 10; boards below 15 report no supply
  std::int32_t batteryPresent = 0;
  bool onBattery = false;
  double supplyReading = 0.0;  // raw units of 5/256 V
};

// Volts of a raw supply reading.
double SupplyVolts(double reading);

// The battery bar after a voltage query: its position and the status line.
struct BatteryBarUpdate {
  int position = 0;
  std::string status;
};

// Every 101st tick: the bar and status line, or nothing for boards that report no supply.
// `chargeText` is the board's battery charge text, shown while on battery.
std::optional<BatteryBarUpdate> BatteryBar(const PowerState& power, const std::string& chargeText,
                                           const Language& language);

// Every tick: "%.2fV B" on battery, "%.2fV P" on the external supply, the last base-board
// voltage text for a board without battery, " -" for boards that report no supply.
std::string PowerSupplyField(const PowerState& power, const std::string& lastBoardVoltage);

// The log "Enable" seconds apart: created anew at every connect, one line per interval.
class BatteryLog {
 public:
  // `seconds`: the interval, 0 = off.
  BatteryLog(int seconds, std::filesystem::path path);

  int seconds() const { return seconds_; }
  const std::filesystem::path& path() const { return path_; }

  // At connect: the file with its first line. False when logging is off, or when the file
  // cannot be created: logging then stays off for the rest of the run.
  bool Start(std::time_t now);
  // At disconnect, or when the connection drops.
  void Stop();
  // At a tick (`tick`: milliseconds at its start): the line written when one is due, else
  // nothing. The first tick after Start always writes one.
  std::optional<std::string> LineIfDue(std::uint32_t tick, double supplyReading, std::time_t now);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  int seconds_;
  std::filesystem::path path_;
  std::unique_ptr<std::FILE, Closer> file_;
  std::optional<std::uint32_t> lastLine_;
};

// "BatteryLog"/"Enable" of `profileStore`: a missing value is written back as 0.
int StoredBatteryLogSeconds(const SettingsStore& profileStore);

// $XDG_DATA_HOME/Kelmorad/logBattery.txt, else ~/.local/share/Kelmorad/logBattery.txt.
std::filesystem::path DefaultBatteryLogPath();

}  // namespace pilvo::wizard
