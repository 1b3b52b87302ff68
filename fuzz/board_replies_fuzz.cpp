// The board's small USB replies (identity, version, battery thresholds, temperature
// calibration), the temperatures and supply of a count block, the supply text the battery
// display makes of them under any thresholds and capacity, and the firmware code of any text.
//
// Input: identifier reply (5 bytes), version reply (3), thresholds reply (5), calibration
// reply (7), a count block with supply (50), the record's six threshold bytes and its battery
// capacity (32-bit each), a supply reading as a double, then a version text.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "link/reply_decoding.h"
#include "link/supply_state.h"

namespace {

using namespace pilvo;
using fuzz::Check;

// Calibration words run from 0 to 65535; the gain falls as the word grows.
constexpr double kLargestGain = 9.615 / 1024;
constexpr double kSmallestGain = (9.615 - 65535 * 0.0067) / 1024;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void CheckIdentity(const std::array<std::uint8_t, kIdentifierReply>& idReply,
                   const std::array<std::uint8_t, kVersionReply>& versionReply) {
  const ArmIdentity identity = DecodeArmIdentity(idReply, versionReply);
  Check(std::equal(idReply.begin() + 1, idReply.end(), identity.identifier.begin(),
                   [](std::uint8_t byte, char c) { return static_cast<char>(byte) == c; }) &&
            identity.identifier[4] == '\0',
        "the identifier is reply bytes 1-4 and a zero");
  const std::array<char, 4>& version = identity.version;
  Check(version[1] == '.' && version[3] == '\0', "the version text is digit, point, digit");
  if (versionReply[1] <= 9 && versionReply[2] <= 9) {
    Check(FirmwareCodeOfVersion(version.data()) == versionReply[2] * 10 + versionReply[1],
          "the firmware code of major.minor is major x 10 + minor");
  }
}

void CheckFirmwareCode(std::span<const std::uint8_t> bytes) {
  const std::string text(bytes.begin(), bytes.end());  // up to its first zero byte, as C text
  const int code = FirmwareCodeOfVersion(text.c_str());
  const std::size_t digits = std::strspn(text.c_str(), "0123456789");
  if (digits > 0 && digits <= 8 && text[digits] != '.' && text[digits] != 'e' &&
      text[digits] != 'E' && text[digits] != 'x' && text[digits] != 'X') {
    Check(code == std::stoi(text.substr(0, digits)) * 10, "a whole number gives ten times it");
  }
  if (!text.empty() && !IsDigit(text[0]) && std::strchr(" \t\n\v\f\r+-.iInN", text[0]) == nullptr) {
    Check(code == 0, "a text without a number gives 0");
  }
}

void CheckTemperatures(const std::array<std::uint8_t, kTemperatureCalibrationReply>& reply,
                       std::span<const std::uint8_t, kUsbCountBlock> block) {
  const CalibrationWords words = DecodeCalibrationWords(reply);
  Check(std::equal(words.begin(), words.end(), reply.begin() + 1), "the words are bytes 1-6");
  const TemperatureGains gains = TemperatureGainsOf(words);
  for (double gain : gains) {
    Check(gain >= kSmallestGain && gain <= kLargestGain, "a gain stays within its word's range");
  }
  const RawTemperatures raw = RawTemperaturesOf(block);
  const std::array<double, 3> temperatures = TemperaturesOf(raw, gains);
  for (std::size_t j = 0; j < temperatures.size(); ++j) {
    const double reading = raw[j][1] * 256.0 + raw[j][0];
    const double low = -60.0 + reading * 25.0 * std::min(gains[j], 0.0);
    const double high = -60.0 + reading * 25.0 * std::max(gains[j], 0.0);
    Check(std::isfinite(temperatures[j]) && temperatures[j] >= low - 1e-6 &&
              temperatures[j] <= high + 1e-6,
          "a temperature is its reading scaled by its gain from -60");
  }
}

// One of "Battery discharge", "[!] Charge P% Remain Mmin" and "[!] Charge P% Remain Hh, Mmin",
// "!" (and a charge in tenths) exactly below threshold 2.
void CheckSupplyText(double reading, const ArmRecord& record) {
  const std::string text = SupplyStateText(reading, record, Language());
  const bool discharging = reading < SupplyThresholds(record)[1];
  if (text == "Battery discharge") {
    Check(discharging, "only a discharging battery is flat");
    return;
  }
  Check(discharging == (text[0] == '!'), "\"!\" marks a discharging battery");
  const char* rest = text.c_str() + (discharging ? 1 : 0);
  const int length = static_cast<int>(std::strlen(rest));
  int percent = 0;
  int hours = 0;
  int minutes = 0;
  int end = -1;
  if (std::sscanf(rest, " Charge %d%% Remain %dh, %dmin%n", &percent, &hours, &minutes, &end) ==
          3 &&
      end == length) {
    Check(hours >= 1 && minutes >= 0 && minutes <= 59, "hours and minutes of an hour");
  } else {
    hours = 0;  // the first form may have matched that far
    end = -1;
    Check(std::sscanf(rest, " Charge %d%% Remain %dmin%n", &percent, &minutes, &end) == 2 &&
              end == length,
          "the text has one of its three forms");
    Check(minutes <= 59, "less than an hour shows minutes only");
  }
  if (discharging) {
    Check(percent >= 1 && percent <= 10, "a discharging charge is shown in tenths");
  } else {
    Check(percent >= 5 && percent <= 100, "a charge is 5% to 100%");
  }
  if (record.batteryCapacity >= 0) {
    const long long left = hours * 60LL + minutes;
    Check(left >= 0 && left <= record.batteryCapacity, "no more time left than the capacity");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const auto idReply = in.Bytes<kIdentifierReply>();
  const auto versionReply = in.Bytes<kVersionReply>();
  const auto thresholdsReply = in.Bytes<kThresholdsReply>();
  const auto calibrationReply = in.Bytes<kTemperatureCalibrationReply>();
  const auto block = in.Bytes<kUsbCountBlockWithSupply>();
  ArmRecord record;
  for (auto& byte : record.supplyThresholdBytes) byte = in.I32();
  record.batteryCapacity = in.I32();
  const double reading = in.F64();

  CheckIdentity(idReply, versionReply);
  CheckFirmwareCode(in.Rest());

  const std::array<std::uint8_t, 5> thresholds = DecodeBatteryThresholds(thresholdsReply);
  Check(std::equal(thresholds.begin(), thresholds.begin() + 4, thresholdsReply.begin() + 1) &&
            thresholds[4] == 0,
        "the thresholds are reply bytes 1-4 and a zero");

  CheckTemperatures(calibrationReply, std::span(block).first<kUsbCountBlock>());
  CheckSupplyText(DecodeSupply(block).reading, record);
  CheckSupplyText(reading, record);
  return 0;
}
