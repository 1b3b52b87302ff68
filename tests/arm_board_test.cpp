// The board's bytes decoded without a board: register lists, counts, status bits, supply.
#include <gtest/gtest.h>

#include <limits>

#include "data/local_text.h"
#include "link/count_decoding.h"
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

TEST(SerialRegisterList, SixExtendedAxes) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount.fill(true);
  EXPECT_EQ(ListOf(BuildSerialRegisterList(record, 0)),
            (Bytes{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                   0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00}));
}

TEST(SerialRegisterList, FewerAxesStatusRegisterAndLatchedOffset) {
  ArmRecord record = SixAxisRecord();
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
  const SerialRequest request = BuildSerialRegisterList(record, 0);
  Bytes reply(request.length, 0x55);
  const std::size_t n = axes.size();
  std::size_t high = 2 + 2 * n;
  for (std::size_t i = 0; i < n; ++i) {
    reply[2 + i] = axes[i][0];
    reply[2 + n + i] = axes[i][1];
    if (record.jointExtendedCount[i]) reply[high++] = axes[i][2];
  }
  return reply;
}

TEST(SerialCounts, SixteenAndTwentyFourBitAxes) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount[0] = true;
  record.jointExtendedCount[3] = true;
  const Bytes reply = SerialReply(record, {{0x34, 0x12, 0xFF},
                                           {0xFF, 0xFF, 0},
                                           {0x00, 0x80, 0},
                                           {0x00, 0x00, 0x01},
                                           {0x01, 0x00, 0},
                                           {0xFE, 0x7F, 0}});
  CountList counts{};
  DecodeSerialCounts(record, reply, 0, counts);
  EXPECT_EQ(counts, (CountList{-65536 + 0x1234, -1, -32768, 65536, 1, 32766, 0, 0}));
}

TEST(SerialCounts, WrapAroundWindow) {
  ArmRecord record = SixAxisRecord();
  record.jointWrapAround[1] = true;
  record.jointWrapAround[2] = true;
  record.jointWrapAround[3] = true;  // only the second and third joints wrap
  auto lowMiddle = [](std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(u & 0xFF),
                                       static_cast<std::uint8_t>(u >> 8), 0};
  };
  const Bytes reply = SerialReply(record, {lowMiddle(-100), lowMiddle(-100), lowMiddle(-6000),
                                           lowMiddle(-6000), lowMiddle(5), lowMiddle(0)});
  CountList counts{};
  DecodeSerialCounts(record, reply, 5000, counts);
  EXPECT_EQ(counts[1], -100);
  EXPECT_EQ(counts[2], 59536);
  EXPECT_EQ(counts[3], -6000);
  DecodeSerialCounts(record, reply, 0, counts);
  EXPECT_EQ(counts[1], 65436);
  EXPECT_EQ(counts[2], 59536);
}

TEST(SerialCounts, ReplyTooShortForTheAxesGivesNothing) {
  ArmRecord record = SixAxisRecord();
  record.jointExtendedCount[4] = true;
  const Bytes reply =
      SerialReply(record, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 1}, {6, 0, 0}});
  // Exactly the counter bytes, so that a sanitizer sees any read past them.
  const std::size_t counters = 2 + 6 + 6 + 1;
  const Bytes exact(reply.begin(), reply.begin() + counters);
  CountList counts{};
  EXPECT_TRUE(DecodeSerialCounts(record, exact, 0, counts));
  EXPECT_EQ(counts, (CountList{1, 2, 3, 4, 65536 + 5, 6, 0, 0}));
  const Bytes cut(reply.begin(), reply.begin() + counters - 1);
  EXPECT_FALSE(DecodeSerialCounts(record, cut, 0, counts));
  EXPECT_EQ(counts, CountList{});
  EXPECT_FALSE(DecodeSerialCounts(record, Bytes{}, 0, counts));
}

TEST(UsbCounts, TwentyThreeBitValuesAndMarkFlag) {
  const std::uint8_t negativeLimit[] = {0x00, 0x00, 0x40};
  EXPECT_EQ(UsbAxisCount(negativeLimit), -4194304);
  const std::uint8_t marked[] = {0x21, 0x43, 0xBF};
  const std::uint8_t unmarked[] = {0x21, 0x43, 0x3F};
  EXPECT_EQ(UsbAxisCount(marked), UsbAxisCount(unmarked));
  EXPECT_EQ(UsbAxisCount(unmarked), 0x3F4321);
  EXPECT_TRUE(UsbAxisMarked(marked));
  EXPECT_FALSE(UsbAxisMarked(unmarked));
  const std::uint8_t minusOne[] = {0xFF, 0xFF, 0x7F};
  EXPECT_EQ(UsbAxisCount(minusOne), -1);
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

TEST(UsbCounts, BoardOrderMovedAxisAndBoard3ThirdAxis) {
  ArmRecord record;
  record.board1Axes = 4;
  record.board2Axes = 2;
  CountList counts{};
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 7, 10, 26, 23, 0, 0}));

  record.board1Axes = 5;
  record.board2Axes = 0;
  record.board3Axes = 2;
  record.options.movedAxis = true;
  DecodeUsbCounts(record, BlockCountingOffsets(), counts);
  EXPECT_EQ(counts, (CountList{1, 4, 7, 10, 36, 39, 13, 0}));

  record = {};
  record.board1Axes = 3;
  record.board2Axes = 3;
  record.board3Axes = 3;
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

TEST(UsbCounts, InsertedAxis) {
  CountList counts{10, 11, 12, 13, 14, 15, 16, 17};
  InsertFixedJoint(counts);
  EXPECT_EQ(counts, (CountList{10, 11, 0, 12, 13, 14, 15, 16}));
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
  record.batteryCapacity = 480;
  EXPECT_EQ(SupplyStateText(768, record, english),
            " Charge 5% Remain 24min");  // at T2: upper formula
  EXPECT_EQ(SupplyStateText(784, record, english), " Charge 55% Remain 4h, 24min");
  EXPECT_EQ(SupplyStateText(900, record, english), " Charge 100% Remain 8h, 0min");
  EXPECT_EQ(SupplyStateText(761, record, english), "! Charge 7% Remain 36min");
  EXPECT_EQ(SupplyStateText(741, record, english), "Battery discharge");
  EXPECT_EQ(SupplyStateText(100, record, english), "Battery discharge");
  record.supplyThresholdBytes = {};  // thresholds never set
  EXPECT_EQ(SupplyStateText(0, record, english), " Charge 100% Remain 8h, 0min");
}

TEST(SupplyState, LargestCapacityDoesNotOverflow) {
  const Language english;
  ArmRecord record;
  record.supplyThresholdBytes = {0xE4, 0x02, 0x00, 0x03, 0x20, 0x03};  // 740, 768, 800
  record.batteryCapacity = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(SupplyStateText(761, record, english), "! Charge 7% Remain 2684354h, 33min");
  EXPECT_EQ(SupplyStateText(784, record, english), " Charge 55% Remain 19685266h, 45min");
}

}  // namespace
}  // namespace pilvo
