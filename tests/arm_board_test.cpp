// The board's bytes decoded without a board: register lists, counts, status bits, identity and
// firmware code, temperatures, supply.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <limits>

#include "comma_locale.h"
#include "data/local_text.h"
#include "link/count_decoding.h"
#include "link/reply_decoding.h"
#include "link/supply_state.h"

namespace pilvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

ArmRecord SixAxisRecord() {
  ArmRecord record;
  record.jointCount = 6;
  record.board1Axes = 6;
  return record;
}

Bytes ListOf(const SerialRequest& request) {
  return Bytes(request.registers.begin(), request.registers.begin() + request.length);
}

TEST(SerialRegisterList, AxesStatusRegistersAndLatchedOffset) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount.fill(true);
  EXPECT_EQ(ListOf(BuildSerialRegisterList(record, 0)),
            (Bytes{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                   0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00}));

  record.jointExtendedCount = {};
  record.jointCount = 5;
  record.jointExtendedCount[1] = true;
  record.jointExtendedCount[5] = true;  // no sixth axis to read
  record.options.auxiliaryInput1 = true;
  const SerialRequest request = BuildSerialRegisterList(record, kLatchedRegisterOffset);
  EXPECT_TRUE(request.hasSecondStatusRegister);
  EXPECT_EQ(ListOf(request), (Bytes{0x0D, 0x0C, 0x2E, 0x4E, 0x6E, 0x8E, 0xAE, 0x2C, 0x4C, 0x6C,
                                    0x8C, 0xAC, 0x1C, 0xFC, 0xEC, 0x0C}));
  record.jointCount = 3;  // below four the board still reports four axes
  record.options = {};
  EXPECT_EQ(BuildSerialRegisterList(record, 0).length, 2u + 4 + 4 + 1 + 1 + 1);
}

// A serial reply for `record` with each axis given as (low, middle, high).
Bytes SerialReply(const ArmRecord& record, const std::vector<std::array<std::uint8_t, 3>>& axes) {
  Bytes reply(BuildSerialRegisterList(record, 0).length, 0x55);
  const std::size_t n = axes.size();
  std::size_t high = 2 + 2 * n;
  for (std::size_t i = 0; i < n; ++i) {
    reply[2 + i] = axes[i][0];
    reply[2 + n + i] = axes[i][1];
    if (record.jointExtendedCount[i]) reply[high++] = axes[i][2];
  }
  return reply;
}

std::array<std::uint8_t, 3> LowMiddle(std::int16_t value) {
  const auto u = static_cast<std::uint16_t>(value);
  return {static_cast<std::uint8_t>(u & 0xFF), static_cast<std::uint8_t>(u >> 8), 0};
}

TEST(SerialCounts, SixteenAndTwentyFourBitAxesAndTheWrapAroundWindow) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount[0] = true;
  record.jointExtendedCount[3] = true;
  CountList counts{};
  DecodeSerialCounts(record,
                     SerialReply(record, {{0x34, 0x12, 0xFF},
                                          {0xFF, 0xFF, 0},
                                          {0x00, 0x80, 0},
                                          {0x00, 0x00, 0x01},
                                          {0x01, 0x00, 0},
                                          {0xFE, 0x7F, 0}}),
                     0, counts);
  EXPECT_EQ(counts, (CountList{-65536 + 0x1234, -1, -32768, 65536, 1, 32766, 0, 0}));

  record = SixAxisRecord();
  record.jointWrapAround[1] = record.jointWrapAround[2] = record.jointWrapAround[3] = true;
  const Bytes reply = SerialReply(record, {LowMiddle(-100), LowMiddle(-100), LowMiddle(-6000),
                                           LowMiddle(-6000), LowMiddle(5), LowMiddle(0)});
  DecodeSerialCounts(record, reply, 5000, counts);
  EXPECT_EQ(counts[1], -100);
  EXPECT_EQ(counts[2], 59536);
  EXPECT_EQ(counts[3], -6000) << "only the second and third joints wrap";
  DecodeSerialCounts(record, reply, 0, counts);
  EXPECT_EQ(counts[1], 65436);
}

TEST(SerialCounts, ReplyTooShortForTheAxesGivesNothing) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount[4] = true;
  const Bytes reply =
      SerialReply(record, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 1}, {6, 0, 0}});
  // Exactly the counter bytes, so that a sanitizer sees any read past them.
  const auto counters = reply.begin() + 2 + 6 + 6 + 1;
  CountList counts{};
  EXPECT_TRUE(DecodeSerialCounts(record, Bytes(reply.begin(), counters), 0, counts));
  EXPECT_EQ(counts, (CountList{1, 2, 3, 4, 65536 + 5, 6, 0, 0}));
  EXPECT_FALSE(DecodeSerialCounts(record, Bytes(reply.begin(), counters - 1), 0, counts));
  EXPECT_EQ(counts, CountList{});
  EXPECT_FALSE(DecodeSerialCounts(record, Bytes{}, 0, counts));
}

TEST(UsbCounts, TwentyThreeBitValuesAndMarkFlag) {
  const struct {
    std::uint8_t bytes[3];
    std::int32_t count;
    bool marked;
  } cases[] = {{{0x00, 0x00, 0x40}, -4194304, false},
               {{0x21, 0x43, 0xBF}, 0x3F4321, true},
               {{0x21, 0x43, 0x3F}, 0x3F4321, false},
               {{0xFF, 0xFF, 0x7F}, -1, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(UsbAxisCount(c.bytes), c.count);
    EXPECT_EQ(UsbAxisMarked(c.bytes), c.marked);
  }
}

// A count block whose axis at byte offset o holds the count o (so the order shows).
std::array<std::uint8_t, kUsbCountBlock> BlockCountingOffsets() {
  std::array<std::uint8_t, kUsbCountBlock> block{};
  for (std::size_t offset : {1, 4, 7, 10, 13, 16, 23, 26, 29, 36, 39, 42}) {
    block[offset] = static_cast<std::uint8_t>(offset);
    block[offset + 2] = 0x80;  // mark flags must not change the counts
  }
  block[19] = block[45] = 0xFF;
  return block;
}

TEST(UsbCounts, BoardOrderMovedAxisInsertedAxisAndBoard3ThirdAxis) {
  ArmRecord record;
  record.board1Axes = 4;
  record.board2Axes = 2;
  CountList counts{};
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 7, 10, 26, 23, 0, 0}));
  CountList inserted{10, 11, 12, 13, 14, 15, 16, 17};
  InsertFixedJoint(inserted);
  EXPECT_EQ(inserted, (CountList{10, 11, 0, 12, 13, 14, 15, 16}));

  record.board1Axes = 5;
  record.board2Axes = 0;
  record.board3Axes = 2;
  record.options.movedAxis = true;
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 7, 10, 36, 39, 13, 0}));

  record = {};
  record.board1Axes = record.board2Axes = record.board3Axes = 3;
  record.options.board3ThirdAxis = true;
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 7, 26, 29, 23, 36, 39}));  // ninth axis does not fit
  record.board1Axes = 2;
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 26, 29, 23, 36, 39, 0}));
  record.options.board3ThirdAxisCompanion = true;
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts[7], 42);

  std::array<bool, kMaxJoints> marked{};
  EXPECT_EQ(DecodeUsbMarks(record, true, BlockCountingOffsets(), marked), 8u);
  EXPECT_TRUE(marked[7]);
  // Without the companion of the probe in use the unread axis has no mark to wait for.
  EXPECT_EQ(DecodeUsbMarks(record, false, BlockCountingOffsets(), marked), 7u);
  EXPECT_FALSE(marked[7]);
  // A record may hold any axis count; leaving out the unread axis overflowed the smallest.
  record.board3Axes = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(DecodeUsbMarks(record, false, BlockCountingOffsets(), marked), 5u);
}

TEST(UsbStatus, ButtonsFromOneOrBothBoards) {
  ArmRecord record;
  auto block = BlockCountingOffsets();
  block[19] = 0xFF & ~0b1001;  // board 1: button 1 and auxiliary request
  block[45] = 0xFF & ~0b0110;  // board 3: buttons 2 and 3
  StatusPair status = DecodeUsbStatus(record, block);
  EXPECT_EQ(status.status1, 0xFE);
  EXPECT_EQ(status.status0, 0xFD);

  record.board3Axes = 1;
  status = DecodeUsbStatus(record, block);
  EXPECT_EQ(status.status1, 0xFC);  // button 1 from board 1, button 2 from board 3
  EXPECT_EQ(status.status0, 0xFE);  // button 3 from board 3; request only from board 3

  record.options.auxiliaryInput0 = true;  // button 1 now comes from board 3 alone
  EXPECT_EQ(DecodeUsbStatus(record, block).status1 & 1, 1);
  record.options.auxiliaryInput1 = true;  // … and from board 1 alone again
  EXPECT_EQ(DecodeUsbStatus(record, block).status1 & 1, 0);
  record.options.auxiliaryInput2 = true;
  EXPECT_EQ(DecodeUsbStatus(record, block).status1 & 1, 1);
}

TEST(SupplyState, ChargeAndRemainingTime) {
  const Language english;
  ArmRecord record;
  record.supplyThresholdBytes = {0xE4, 0x02, 0x00, 0x03, 0x20, 0x03};  // 740, 768, 800
  const std::int32_t largest = std::numeric_limits<std::int32_t>::max();
  const struct {
    double reading;
    std::int32_t capacity;
    const char* text;
  } cases[] = {{768, 480, " Charge 5% Remain 24min"},  // at T2: upper formula
               {784, 480, " Charge 55% Remain 4h, 24min"},
               {900, 480, " Charge 100% Remain 8h, 0min"},
               {761, 480, "! Charge 7% Remain 36min"},
               {741, 480, "Battery discharge"},
               {100, 480, "Battery discharge"},
               // The largest capacity does not overflow.
               {761, largest, "! Charge 7% Remain 2684354h, 33min"},
               {784, largest, " Charge 55% Remain 19685266h, 45min"}};
  for (const auto& c : cases) {
    record.batteryCapacity = c.capacity;
    EXPECT_EQ(SupplyStateText(c.reading, record, english), c.text) << c.reading;
  }
  record.batteryCapacity = 480;
  record.supplyThresholdBytes = {};  // thresholds never set
  EXPECT_EQ(SupplyStateText(0, record, english), " Charge 100% Remain 8h, 0min");
}

TEST(SmallReplies, IdentityVersionThresholdsAndSupply) {
  const ArmIdentity identity =
      DecodeArmIdentity(std::array<std::uint8_t, 5>{0x01, 'U', 'Q', '6', '0'},
                        std::array<std::uint8_t, 3>{0x00, 5, 1});
  EXPECT_STREQ(identity.identifier.data(), "UQ60");
  EXPECT_STREQ(identity.version.data(), "1.5");
  EXPECT_EQ(DecodeBatteryThresholds(std::array<std::uint8_t, 5>{0x14, 0xE4, 0x02, 0x00, 0x03}),
            (std::array<std::uint8_t, 5>{0xE4, 0x02, 0x00, 0x03, 0}));

  std::array<std::uint8_t, kUsbCountBlockWithSupply> block{};
  const struct {
    std::uint8_t high;
    double reading;
    bool monitor, onBattery;
  } supplies[] = {{0x80 | 0x3F, 0x3F23, true, true},  // reported, on battery, top bits all set
                  {0xC1, 0x123, true, false},         // external power
                  {0x01, 0x123, false, false}};       // not reported: never on battery either
  block[48] = 0x23;
  for (const auto& s : supplies) {
    block[49] = s.high;
    const SupplyStatus supply = DecodeSupply(block);
    EXPECT_EQ(supply.reading, s.reading);
    EXPECT_EQ(supply.monitor, s.monitor);
    EXPECT_EQ(supply.onBattery, s.onBattery);
  }
}

TEST(FirmwareCode, AnyTextGivesACodeInRangeWhateverTheHostLocale) {
  // Past the range of int the conversion was undefined.
  const std::pair<const char*, int> cases[] = {
      {"1.5", 15}, {"1.4", 14}, {"9.9", 99},        {"x.y", 0},
      {"", 0},     {"nan", 0},  {"1e300", INT_MAX}, {"-1e300", INT_MIN}};
  for (const auto& [text, code] : cases) EXPECT_EQ(FirmwareCodeOfVersion(text), code) << text;

  const char* commaLocale = testing::SetCommaLocale();
  if (!commaLocale) GTEST_SKIP() << "no locale with a decimal comma is installed";
  // Read as "1" the board would be taken for one without supply reporting.
  const int code = FirmwareCodeOfVersion("1.5");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(code, 15) << commaLocale;
}

TEST(TemperatureReplies, GainsAndDegrees) {
  const CalibrationWords words = DecodeCalibrationWords(
      std::array<std::uint8_t, kTemperatureCalibrationReply>{0x41, 0, 0, 0xE8, 0x03, 0xFF, 0xFF});
  const TemperatureGains gains = TemperatureGainsOf(words);
  EXPECT_DOUBLE_EQ(gains[0], 9.615 / 1024);
  EXPECT_DOUBLE_EQ(gains[1], (9.615 - 1000 * 0.0067) / 1024);
  EXPECT_DOUBLE_EQ(gains[2], (9.615 - 65535 * 0.0067) / 1024);

  std::array<std::uint8_t, kUsbCountBlock> block{};
  block[21] = 0x04;  // board 1: 1024
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

}  // namespace
}  // namespace pilvo
