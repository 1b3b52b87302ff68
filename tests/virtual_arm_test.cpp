// The virtual arm's bytes, worked out by hand from joint angles, layouts and sensor values.
#include "sim/virtual_arm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace pilvo::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Seven joints of 3600 lines (40 counts a degree) on boards of 4, 2 and 1 axes, the last axis of
// board 1 moved to the end; joint 2 has an offset of 100, joint 3 turns the other way.
ArmRecord SevenAxisUsbArm() {
  ArmRecord record;
  record.name = "UA70 test arm";
  record.jointCount = 7;
  record.encoderLines.fill(3600);
  record.encoderOffsets[2] = 100;
  record.jointReversed[3] = true;
  record.board1Axes = 4;
  record.board2Axes = 2;
  record.board3Axes = 1;
  record.options.movedAxis = true;
  record.linkType = 1;
  record.supplyThresholdBytes = {0xE4, 0x02, 0x00, 0x03, 0x20, 0x03};
  return record;
}

// Six joints of 3600 lines, all with extended counts; joint 1 has an offset of -1000.
ArmRecord SixAxisSerialArm() {
  ArmRecord record;
  record.name = "SR60";
  record.jointCount = 6;
  record.encoderLines.fill(3600);
  record.encoderOffsets[1] = -1000;
  record.jointExtendedCount.fill(true);
  return record;
}

Bytes Axis(const Bytes& block, std::size_t offset) {
  return Bytes(block.begin() + static_cast<std::ptrdiff_t>(offset),
               block.begin() + static_cast<std::ptrdiff_t>(offset) + 3);
}

Bytes Usb(VirtualArm& arm, const Bytes& request) {
  return arm.HandleUsbRequest(request);
}

const Bytes kReadCounts{0x34, 0x02};

TEST(UsbCountBlock, ChannelsInDecodeOrderWithSignsAndMarks) {
  VirtualArm arm(SevenAxisUsbArm());
  ASSERT_TRUE(arm.SetJointAngles(std::vector<double>{10, -2.5, 1, 5, 0.5, 100, -200}));
  const Bytes block = Usb(arm, kReadCounts);
  ASSERT_EQ(block.size(), 48u);
  EXPECT_EQ(block[0], 0x34);
  // 23-bit counts, low byte first, bit 7 of the high byte = mark passed.
  EXPECT_EQ(Axis(block, 1), (Bytes{0x90, 0x01, 0x80}));   // 400
  EXPECT_EQ(Axis(block, 4), (Bytes{0x9C, 0xFF, 0xFF}));   // -100
  EXPECT_EQ(Axis(block, 7), (Bytes{0xC4, 0xFF, 0xFF}));   // 40 - offset 100
  EXPECT_EQ(Axis(block, 26), (Bytes{0x38, 0xFF, 0xFF}));  // board 2 axis 2 first: -200, reversed
  EXPECT_EQ(Axis(block, 23), (Bytes{0x14, 0x00, 0x80}));  // then board 2 axis 1: 20
  EXPECT_EQ(Axis(block, 36), (Bytes{0xA0, 0x0F, 0x80}));  // board 3 axis 1: 4000
  EXPECT_EQ(Axis(block, 10), (Bytes{0xC0, 0xE0, 0xFF}));  // moved axis last: -8000
  for (const std::size_t unused : {13, 16, 29, 39, 42}) {
    EXPECT_EQ(Axis(block, unused), (Bytes{0, 0, 0})) << "offset " << unused;
  }
  // The reference-mark query answers the same block under its own echo.
  Bytes marks = Usb(arm, {0x33, 0x03, 0x00});
  ASSERT_EQ(marks.size(), 48u);
  EXPECT_EQ(marks[0], 0x33);
  marks[0] = 0x34;
  EXPECT_EQ(marks, block);
}

TEST(UsbCountBlock, OtherLayouts) {
  ArmRecord table = SevenAxisUsbArm();
  table.options.movedAxis = false;
  table.options.tableChannel = true;
  table.board1Axes = 5;
  table.board2Axes = 1;
  table.board3Axes = 0;
  table.jointCount = 6;
  VirtualArm tableArm(table);
  tableArm.SetJointAngles(std::vector<double>{0, 0, 0, 0, 1, 2});
  const Bytes block = Usb(tableArm, kReadCounts);
  EXPECT_EQ(Axis(block, 23), (Bytes{0x28, 0x00, 0x80}));  // joint 4 on board 2
  EXPECT_EQ(Axis(block, 13), (Bytes{0x50, 0x00, 0x80}));  // joint 5, the table, last

  ArmRecord inserted = SevenAxisUsbArm();
  inserted.options.movedAxis = false;
  inserted.options.insertedAxis = true;
  inserted.jointCount = 6;
  inserted.board1Axes = 5;
  inserted.board2Axes = 0;
  inserted.board3Axes = 0;
  VirtualArm insertedArm(inserted);
  insertedArm.SetJointAngles(std::vector<double>{0, 0, 50, -1, 0, 3});
  const Bytes counts = Usb(insertedArm, kReadCounts);
  EXPECT_EQ(Axis(counts, 7), (Bytes{0x28, 0x00, 0x80}));   // joint 3 (reversed) on channel 2
  EXPECT_EQ(Axis(counts, 13), (Bytes{0x78, 0x00, 0x80}));  // joint 5 on channel 4
}

TEST(UsbCountBlock, UnreferencedCountersCarryTheirShiftUntilTheMark) {
  VirtualArmOptions options;
  options.referenced = false;
  VirtualArm arm(SevenAxisUsbArm(), options);
  arm.SetPowerOnShift(0, 1000);
  arm.SetJointAngle(0, 10);
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1), (Bytes{0x78, 0x05, 0x00}));  // 1400, no mark
  // The default shift is fixed: 12345 for joint 0 … 12345 x 7 for joint 6.
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 10), (Bytes{0x8F, 0x51, 0x01}));  // 86415

  arm.SetJointAngle(0, 20);  // away from the mark at 0: still unreferenced
  EXPECT_FALSE(arm.snapshot().joints[0].referenced);
  arm.SetJointAngle(0, -5);                                              // across it
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1), (Bytes{0x38, 0xFF, 0xFF}));  // -200, marked

  arm.SetMarkAngle(1, 45);
  arm.SetJointAngle(1, 45);  // onto the mark
  arm.PassReferenceMark(2);
  const ArmState state = arm.snapshot();
  EXPECT_TRUE(state.joints[1].referenced);
  EXPECT_TRUE(state.joints[2].referenced);
  EXPECT_FALSE(state.joints[3].referenced);

  arm.SetAllReferenced(false);
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 1)[2] & 0x80, 0);
}

TEST(UsbCommands, MalformedRequestsAreSilent) {
  VirtualArm arm(SevenAxisUsbArm());
  for (const Bytes& request :
       {Bytes{}, Bytes{0x00}, Bytes{0x00, 0x03}, Bytes{0x00, 0x02, 0x00}, Bytes{0x34, 0x03, 0x33},
        Bytes{0x33, 0x03, 0x03}, Bytes{0x15, 0x05, 1, 2, 3}, Bytes{0x32, 0x04, 1, 2},
        Bytes{0x99, 0x02}, Bytes{0x35, 0x02}}) {
    EXPECT_TRUE(Usb(arm, request).empty()) << testing::PrintToString(request);
  }
  EXPECT_FALSE(arm.observations().configuration);
  EXPECT_EQ(arm.observations().requestsHandled, 10);
}

// The register list for six extended axes.
const Bytes kLiveList{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                      0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00};

TEST(SerialRegisters, StatusAcknowledgeAndAbsentAxes) {
  ArmRecord record = SixAxisSerialArm();
  record.jointCount = 5;
  VirtualArm arm(record);
  arm.SetJointAngle(4, -1);
  arm.SetButton(1, true);
  arm.SetButton(3, true);
  arm.SetButton(4, true);
  arm.SetAuxiliaryRequest(true);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xF0, 0xE0, 0xA2, 0x92, 0x04, 0x33}),
            (Bytes{0xFC, 0x7E, 0xD8, 0x00, 0x00, 0x00}));
  // The acknowledge pair at either offset clears the request.
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xDC, 0x0C}).size(), 2u);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xFC}), (Bytes{0xFE}));
  arm.SetAuxiliaryRequest(true);
  arm.HandleSerialRequest(Bytes{0xD0, 0x00});
  EXPECT_FALSE(arm.snapshot().auxiliaryRequest);
  EXPECT_EQ(arm.observations().acknowledgedInputs, (std::vector<int>{-1, -1}));
}

TEST(Faults, SpoilTheNextRepliesOnBothLinks) {
  VirtualArm arm(SevenAxisUsbArm());
  const Bytes block = Usb(arm, kReadCounts);

  ASSERT_TRUE(arm.InjectFault(Fault::Silence, 2));
  EXPECT_TRUE(Usb(arm, {0x99, 0x02}).empty());  // no reply to spoil: does not count
  EXPECT_TRUE(Usb(arm, kReadCounts).empty());
  EXPECT_TRUE(arm.HandleSerialRequest(Bytes{0x22}).empty());
  EXPECT_EQ(Usb(arm, kReadCounts), block);

  arm.InjectFault(Fault::ShortReply);
  EXPECT_EQ(Usb(arm, kReadCounts), Bytes(block.begin(), block.end() - 1));

  arm.InjectFault(Fault::WrongEcho);
  Bytes wrongEcho = block;
  wrongEcho[0] = 0xCB;
  EXPECT_EQ(Usb(arm, kReadCounts), wrongEcho);

  arm.InjectFault(Fault::CorruptBytes, kUntilCleared);
  for (int i = 0; i < 3; ++i) {
    const Bytes corrupt = Usb(arm, kReadCounts);
    ASSERT_EQ(corrupt.size(), block.size());
    EXPECT_EQ(corrupt[0], 0x34);
    for (std::size_t at = 1; at < block.size(); ++at) EXPECT_EQ(corrupt[at], block[at] ^ 0xFF);
  }
  arm.InjectFault(Fault::WrongEcho, 1);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xE0, 0x33}), (Bytes{0x00, 0xFF}));  // serial: inverted
  arm.InjectFault(Fault::ShortReply, kUntilCleared);
  EXPECT_EQ(arm.HandleSerialRequest(Bytes{0xE0, 0x33}), (Bytes{0xFF}));
  arm.ClearFaults();
  EXPECT_EQ(Usb(arm, kReadCounts), block);
  EXPECT_FALSE(arm.InjectFault(Fault::Silence, 0));
}

TEST(VirtualArm, RefusesOutOfRangeSettingsAndKeepsState) {
  VirtualArm arm(SixAxisSerialArm());
  EXPECT_FALSE(arm.SetJointAngle(6, 1.0));
  EXPECT_FALSE(arm.SetJointAngle(-1, 1.0));
  EXPECT_FALSE(arm.SetJointAngle(0, std::nan("")));
  EXPECT_FALSE(arm.SetJointAngle(0, 1e6));
  EXPECT_FALSE(arm.SetJointAngles(std::vector<double>(7, 0.0)));
  EXPECT_FALSE(arm.SetJointAngles(std::vector<double>{1.0, INFINITY}));
  EXPECT_FALSE(arm.SetButton(0, true));
  EXPECT_FALSE(arm.SetButton(5, true));
  EXPECT_FALSE(arm.SetSupply({0x4000, true, false}));
  EXPECT_FALSE(arm.SetFirmware({1, 10}));
  EXPECT_FALSE(arm.SetIdentifier("ABCDE"));
  EXPECT_FALSE(arm.SetIdentifier(""));
  EXPECT_FALSE(arm.SetTemperatures({0.0, NAN, 0.0}));
  EXPECT_FALSE(arm.PassReferenceMark(6));
  EXPECT_EQ(arm.jointAngles(), std::vector<double>(6, 0.0));
  EXPECT_EQ(arm.snapshot().firmware, (FirmwareVersion{1, 5}));
}

// Run under ThreadSanitizer: a server thread answering while the control side moves the arm.
TEST(VirtualArm, AnswersWhileBeingMoved) {
  VirtualArm arm(SevenAxisUsbArm());
  std::thread host([&] {
    for (int i = 0; i < 2000; ++i) {
      EXPECT_EQ(Usb(arm, kReadCounts).size(), 48u);
      EXPECT_EQ(arm.HandleSerialRequest(kLiveList).size(), kLiveList.size());
    }
  });
  for (int i = 0; i < 2000; ++i) {
    arm.SetJointAngle(i % 7, i * 0.1);
    arm.SetButton(1 + i % 3, i % 2 == 0);
  }
  host.join();
  EXPECT_EQ(arm.observations().requestsHandled, 4000);
}

}  // namespace
}  // namespace pilvo::sim
