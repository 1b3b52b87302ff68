// The board's small replies decoded without a board: identity and firmware code, temperatures,
// supply.
#include "link/reply_decoding.h"
#include "comma_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

namespace pilvo {
namespace {

TEST(ArmIdentityReply, IdentifierAndVersionText) {
  const std::array<std::uint8_t, kIdentifierReply> id = {0x01, 'U', 'Q', '6', '0'};
  const std::array<std::uint8_t, kVersionReply> version = {0x00, 5, 1};
  const ArmIdentity identity = DecodeArmIdentity(id, version);
  EXPECT_STREQ(identity.identifier.data(), "UQ60");
  EXPECT_STREQ(identity.version.data(), "1.5");
  EXPECT_EQ(FirmwareCodeOfVersion(identity.version.data()), 15);
}

TEST(FirmwareCode, AnyTextGivesACodeInRange) {
  EXPECT_EQ(FirmwareCodeOfVersion("1.4"), 14);
  EXPECT_EQ(FirmwareCodeOfVersion("9.9"), 99);
  EXPECT_EQ(FirmwareCodeOfVersion("x.y"), 0);
  EXPECT_EQ(FirmwareCodeOfVersion(""), 0);
  EXPECT_EQ(FirmwareCodeOfVersion("nan"), 0);
  // Past the range of int the conversion was undefined.
  EXPECT_EQ(FirmwareCodeOfVersion("1e300"), std::numeric_limits<int>::max());
  EXPECT_EQ(FirmwareCodeOfVersion("-1e300"), std::numeric_limits<int>::min());
}

TEST(FirmwareCode, VersionIgnoresTheHostLocale) {
  const char* commaLocale = testing::SetCommaLocale();
  if (!commaLocale) GTEST_SKIP() << "no locale with a decimal comma is installed";
  // Read as "1" the board would be taken for one without supply reporting.
  const int code = FirmwareCodeOfVersion("1.5");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(code, 15) << commaLocale;
}

TEST(TemperatureReplies, GainsAndDegrees) {
  const std::array<std::uint8_t, kTemperatureCalibrationReply> reply = {0x41, 0,    0,   0xE8,
                                                                        0x03, 0xFF, 0xFF};
  const CalibrationWords words = DecodeCalibrationWords(reply);
  const TemperatureGains gains = TemperatureGainsOf(words);
  EXPECT_DOUBLE_EQ(gains[0], 9.615 / 1024);
  EXPECT_DOUBLE_EQ(gains[1], (9.615 - 1000 * 0.0067) / 1024);
  EXPECT_DOUBLE_EQ(gains[2], (9.615 - 65535 * 0.0067) / 1024);

  std::array<std::uint8_t, kUsbCountBlock> block{};
  block[20] = 0x00;  // board 1: 1024
  block[21] = 0x04;
  block[46] = 0x01;  // board 3: 1
  const RawTemperatures raw = RawTemperaturesOf(block);
  const std::array<double, 3> degrees = TemperaturesOf(raw, gains);
  EXPECT_DOUBLE_EQ(degrees[0], 9.615 * 25 - 60);
  EXPECT_DOUBLE_EQ(degrees[1], -60.0);
  EXPECT_EQ(TemperaturesOf(raw, {}), (std::array<double, 3>{-60.0, -60.0, -60.0}));
}

// Fault: the temperatures a board did not give were taken as -60 degrees.
TEST(TemperatureReplies, ChannelsWithoutATemperatureKeepTheAmbientOne) {
  const double gain = (9.615 - 1000 * 0.0067) / 1024;
  const struct {
    std::uint8_t low, high;
    double gain;
    bool reported;
  } cases[] = {{0x00, 0x04, gain, true},  {0xFD, 0xFF, gain, true},
               {0xFF, 0xFF, gain, false},    // "not available"
               {0xFE, 0xFF, gain, false},    // "Error"
               {0x00, 0x04, 0.0, false},     // no calibration yet
               {0x00, 0x04, -gain, false}};  // the calibration word of a missing sensor
  for (const auto& c : cases) {
    RawTemperatures raw{};
    raw[1] = {c.low, c.high};
    const TemperatureGains gains = {0.0, c.gain, 0.0};
    std::array<double, 3> degrees = {21.0, 21.0, 21.0};
    TakeReportedTemperatures(raw, gains, degrees);
    const double board = TemperaturesOf(raw, gains)[1];
    EXPECT_EQ(degrees, (std::array<double, 3>{21.0, c.reported ? board : 21.0, 21.0}))
        << c.low + 256 * c.high << " at gain " << c.gain;
  }
}

TEST(SupplyReply, ReadingAndPowerSource) {
  std::array<std::uint8_t, kUsbCountBlockWithSupply> block{};
  block[48] = 0x23;
  block[49] = 0x80 | 0x3F;  // reported, on battery, top bits all set
  SupplyStatus supply = DecodeSupply(block);
  EXPECT_EQ(supply.reading, 0x3F23);
  EXPECT_TRUE(supply.monitor);
  EXPECT_TRUE(supply.onBattery);
  block[49] = 0xC1;  // external power
  supply = DecodeSupply(block);
  EXPECT_EQ(supply.reading, 0x123);
  EXPECT_FALSE(supply.onBattery);
  block[49] = 0x01;  // not reported: never on battery either
  supply = DecodeSupply(block);
  EXPECT_FALSE(supply.monitor);
  EXPECT_FALSE(supply.onBattery);
}

}  // namespace
}  // namespace pilvo
