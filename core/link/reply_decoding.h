// The board's small USB replies (identity, version, battery thresholds, temperature
// calibration) and the temperature and supply bytes of a count block, as values. Pure functions
// of the bytes, so that any reply can be checked without a board; the exchange has already
// checked each reply's length and echo.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link/count_decoding.h"

namespace pilvo {

inline constexpr std::size_t kIdentifierReply = 5;
inline constexpr std::size_t kVersionReply = 3;
inline constexpr std::size_t kThresholdsReply = 5;
inline constexpr std::size_t kTemperatureCalibrationReply = 7;

struct ArmIdentity {
  std::array<char, 5> identifier{};  // four characters and a zero
  std::array<char, 4> version{};     // major digit, '.', minor digit, zero
};

// The identifier is bytes 1-4 of its reply; the version text is byte 2 and byte 1 of its reply
// as digits around a ".".
ArmIdentity DecodeArmIdentity(std::span<const std::uint8_t, kIdentifierReply> identifierReply,
                              std::span<const std::uint8_t, kVersionReply> versionReply);

// The firmware code of a version text: the number times ten, truncated ("1.5" gives 15). The
// text is read with a "." whatever the host's locale; numbers past the range of int give its
// nearest end, and a text without a number gives 0.
int FirmwareCodeOfVersion(const char* version);

// Low and high byte of supply thresholds 1 and 2 (reply bytes 1-4), then a zero.
std::array<std::uint8_t, 5> DecodeBatteryThresholds(
    std::span<const std::uint8_t, kThresholdsReply> reply);

// The three calibration words as low, high byte pairs: reply bytes 1-6.
using CalibrationWords = std::array<std::uint8_t, 6>;
CalibrationWords DecodeCalibrationWords(
    std::span<const std::uint8_t, kTemperatureCalibrationReply> reply);

// Degrees per raw unit of each temperature channel, from its calibration word.
using TemperatureGains = std::array<double, 3>;
TemperatureGains TemperatureGainsOf(const CalibrationWords& words);

// Each board's temperature reading as its low and high byte, boards 1, 2, 3.
using RawTemperatures = std::array<std::array<std::uint8_t, 2>, 3>;
RawTemperatures RawTemperaturesOf(std::span<const std::uint8_t, kUsbCountBlock> block);

// Degrees C of each channel; -60 while the gains are still 0.
std::array<double, 3> TemperaturesOf(const RawTemperatures& raw, const TemperatureGains& gains);

// Overwrites the channels that report a temperature with it; the others keep their value. A
// channel reports none without a positive gain (no calibration yet, or a word that stands for
// no sensor) or while it reads "not available" (0xFFFF) or "Error" (0xFFFE).
void TakeReportedTemperatures(const RawTemperatures& raw, const TemperatureGains& gains,
                              std::array<double, 3>& temperatures);

struct SupplyStatus {
  double reading = 0.0;    // 14-bit, 5/256 V a unit
  bool monitor = false;    // the board reports its supply
  bool onBattery = false;  // only while the board reports its supply
};
// Bytes 48 and 49 of a count block from firmware 1.5 on.
SupplyStatus DecodeSupply(std::span<const std::uint8_t, kUsbCountBlockWithSupply> block);

}  // namespace pilvo
