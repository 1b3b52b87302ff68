#include "link/reply_decoding.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/number_text.h"

namespace pilvo {
namespace {

constexpr std::array<std::size_t, 3> kTemperatureOffsets = {20, 33, 46};
constexpr std::size_t kSupplyLow = 48;
constexpr std::size_t kSupplyHigh = 49;

// Raw readings from this one up are the board's "Error" and "not available".
constexpr int kFirstUnusableReading = 0xFFFE;

int Word(std::uint8_t low, std::uint8_t high) {
  return high * 256 + low;
}

double Degrees(int reading, double gain) {
  return reading * gain * 25.0 - 60.0;
}

}  // namespace

ArmIdentity DecodeArmIdentity(std::span<const std::uint8_t, kIdentifierReply> identifierReply,
                              std::span<const std::uint8_t, kVersionReply> versionReply) {
  ArmIdentity identity;
  std::copy(identifierReply.begin() + 1, identifierReply.end(), identity.identifier.begin());
  identity.identifier[4] = '\0';
  identity.version = {static_cast<char>(versionReply[2] + '0'), '.',
                      static_cast<char>(versionReply[1] + '0'), '\0'};
  return identity;
}

int FirmwareCodeOfVersion(const char* version) {
  const double code = std::trunc(LeadingNumber(version) * 10.0);
  if (std::isnan(code)) return 0;
  return static_cast<int>(std::clamp(code, double{std::numeric_limits<int>::min()},
                                     double{std::numeric_limits<int>::max()}));
}

std::array<std::uint8_t, 5> DecodeBatteryThresholds(
    std::span<const std::uint8_t, kThresholdsReply> reply) {
  std::array<std::uint8_t, 5> bytes{};
  std::copy(reply.begin() + 1, reply.end(), bytes.begin());
  bytes[4] = 0;
  return bytes;
}

CalibrationWords DecodeCalibrationWords(
    std::span<const std::uint8_t, kTemperatureCalibrationReply> reply) {
  CalibrationWords words{};
  std::copy(reply.begin() + 1, reply.end(), words.begin());
  return words;
}

TemperatureGains TemperatureGainsOf(const CalibrationWords& words) {
  TemperatureGains gains{};
  for (std::size_t j = 0; j < gains.size(); ++j) {
    gains[j] = (9.615 - Word(words[2 * j], words[2 * j + 1]) * 0.0067) * 0.0009765625;
  }
  return gains;
}

RawTemperatures RawTemperaturesOf(std::span<const std::uint8_t, kUsbCountBlock> block) {
  RawTemperatures raw{};
  for (std::size_t j = 0; j < raw.size(); ++j) {
    raw[j] = {block[kTemperatureOffsets[j]], block[kTemperatureOffsets[j] + 1]};
  }
  return raw;
}

std::array<double, 3> TemperaturesOf(const RawTemperatures& raw, const TemperatureGains& gains) {
  std::array<double, 3> temperatures{};
  for (std::size_t j = 0; j < temperatures.size(); ++j) {
    temperatures[j] = Degrees(Word(raw[j][0], raw[j][1]), gains[j]);
  }
  return temperatures;
}

void TakeReportedTemperatures(const RawTemperatures& raw, const TemperatureGains& gains,
                              std::array<double, 3>& temperatures) {
  for (std::size_t j = 0; j < temperatures.size(); ++j) {
    const int reading = Word(raw[j][0], raw[j][1]);
    if (gains[j] > 0.0 && reading < kFirstUnusableReading) {
      temperatures[j] = Degrees(reading, gains[j]);
    }
  }
}

SupplyStatus DecodeSupply(std::span<const std::uint8_t, kUsbCountBlockWithSupply> block) {
  const std::uint8_t high = block[kSupplyHigh];
  SupplyStatus supply;
  supply.reading = (high & 0x3F) * 256.0 + block[kSupplyLow];
  supply.monitor = (high & 0x80) != 0;
  supply.onBattery = supply.monitor && (high & 0x40) == 0;
  return supply;
}

}  // namespace pilvo
