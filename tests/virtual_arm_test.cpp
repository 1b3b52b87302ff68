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
const Bytes kReadCountsWithSupply{0x34, 0x03, 0x32};

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

TEST(UsbCountBlock, SecondJointCorrectionIsInvertedExactly) {
  ArmRecord record = SevenAxisUsbArm();
  record.encoderLines[1] = 10000;
  record.encoderOffsets[1] = 50;
  record.jointReversed[1] = true;
  record.options.secondJointCorrection = true;
  record.secondJointCorrectionCount = 12;
  VirtualArm arm(record);
  arm.SetJointAngle(1, 30.0);
  // c = (30 x 10000 x 4 / 360 - 12) / (1 + 12 / 10000) = 3317.35 → 3317; count = -c - 50.
  EXPECT_EQ(Axis(Usb(arm, kReadCounts), 4), (Bytes{0xD9, 0xF2, 0xFF}));  // -3367
  // The host's reading of c gives the angle back within one count.
  const double cpd = 10000 * 4 / 360.0;
  const double c = 3317;
  EXPECT_NEAR(((10000 + c) * (12 / 10000.0) + c) / cpd, 30.0, 1 / cpd);
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

TEST(UsbCountBlock, StatusTemperaturesAndSupply) {
  VirtualArm arm(SevenAxisUsbArm());
  arm.SetButton(1, true);  // both boards: the arm has a board 3
  arm.SetButton(2, true, ButtonBoard::Board3);
  arm.SetButton(3, true, ButtonBoard::Board1);
  arm.SetButton(4, true);  // serial only
  arm.SetAuxiliaryRequest(true);
  ASSERT_TRUE(arm.SetTemperatures({21.0, -10.0, 40.0}));
  arm.SetCalibrationWords({1000, 500, 1200});
  ASSERT_TRUE(arm.SetSupply({0x1234, true, false}));
  const Bytes block = Usb(arm, kReadCountsWithSupply);
  ASSERT_EQ(block.size(), 50u);
  EXPECT_EQ(block[19], 0xF2);  // buttons 1, 3 and the request: bits 0, 2, 3 low
  EXPECT_EQ(block[45], 0xF4);  // buttons 1, 2 and the request: bits 0, 1, 3 low
  // raw = round((T + 60) / (25 x (9.615 - 0.0067 w) / 1024)): 1138, 327, 2601.
  EXPECT_EQ(block[20], 0x72);
  EXPECT_EQ(block[21], 0x04);
  EXPECT_EQ(block[33], 0x47);
  EXPECT_EQ(block[34], 0x01);
  EXPECT_EQ(block[46], 0x29);
  EXPECT_EQ(block[47], 0x0A);
  EXPECT_EQ(block[48], 0x34);
  EXPECT_EQ(block[49], 0xD2);  // upper six bits 0x12, bit 6 external power, bit 7 reported

  arm.SetSupply({0x3FFF, true, true});
  EXPECT_EQ(Usb(arm, kReadCountsWithSupply)[49], 0xBF);  // on battery: bit 6 clear
  arm.SetSupply({0x0100, false, true});
  EXPECT_EQ(Usb(arm, kReadCountsWithSupply)[49], 0x01);  // not reported: bit 7 clear
}

TEST(UsbCommands, QueriesAndSettings) {
  VirtualArm arm(SevenAxisUsbArm());
  EXPECT_EQ(Usb(arm, {0x00, 0x02}), (Bytes{0x00, 5, 1}));
  EXPECT_EQ(Usb(arm, {0x01, 0x02}), (Bytes{0x01, 'U', 'A', '7', '0'}));
  EXPECT_EQ(Usb(arm, {0x14, 0x02}), (Bytes{0x14, 0xE4, 0x02, 0x00, 0x03}));
  EXPECT_EQ(Usb(arm, {0x15, 0x06, 0x10, 0x02, 0x20, 0x03}), (Bytes{0x15, 0}));
  EXPECT_EQ(Usb(arm, {0x14, 0x02}), (Bytes{0x14, 0x10, 0x02, 0x20, 0x03}));
  EXPECT_EQ(Usb(arm, {0x41, 0x02}), (Bytes{0x41, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0x03}));

  EXPECT_EQ(Usb(arm, {0x32, 0x05, 4, 2, 1}), (Bytes{0x32, 2, 0, 0, 0, 0}));
  arm.SetValidReference(false);
  EXPECT_EQ(Usb(arm, {0x32, 0x05, 6, 0, 0}), (Bytes{0x32, 0, 0, 0, 0, 0}));

  arm.SetAuxiliaryRequest(true);
  EXPECT_EQ(Usb(arm, {0x35, 0x03, 0x01}), (Bytes{0x35, 0}));
  EXPECT_FALSE(arm.snapshot().auxiliaryRequest);
  EXPECT_EQ(Usb(arm, {0x33, 0x03, 0x02}).size(), 48u);
  EXPECT_EQ(Usb(arm, {0x50, 0x02}), (Bytes{0x50, 0}));

  const Observations seen = arm.observations();
  EXPECT_EQ(seen.configuration, (std::array<int, 3>{6, 0, 0}));
  EXPECT_EQ(seen.probeModeByte, 2);
  EXPECT_EQ(seen.acknowledgedInputs, std::vector<int>{1});
  EXPECT_EQ(seen.releaseCount, 1);
  EXPECT_EQ(seen.requestsHandled, 11);
  EXPECT_EQ(arm.snapshot().thresholds, (std::array<std::uint8_t, 4>{0x10, 0x02, 0x20, 0x03}));
}

TEST(UsbCommands, FirmwareDecidesTheSupplyBytes) {
  VirtualArmOptions options;
  options.firmware = {1, 4};
  options.identifier = "AB";
  VirtualArm arm(SevenAxisUsbArm(), options);
  EXPECT_EQ(Usb(arm, {0x00, 0x02}), (Bytes{0x00, 4, 1}));
  EXPECT_EQ(Usb(arm, {0x01, 0x02}), (Bytes{0x01, 'A', 'B', ' ', ' '}));
  EXPECT_EQ(Usb(arm, kReadCountsWithSupply).size(), 48u);
  ASSERT_TRUE(arm.SetFirmware({1, 5}));
  EXPECT_EQ(Usb(arm, kReadCountsWithSupply).size(), 50u);
  EXPECT_EQ(Usb(arm, kReadCounts).size(), 48u);
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

// The register list for six extended axes, live and at the latched offset 12.
const Bytes kLiveList{0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
                      0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xE0, 0x00};
const Bytes kLatchedList{0x0D, 0x0C, 0x2E, 0x4E, 0x6E, 0x8E, 0xAE, 0x9E, 0x2C, 0x4C, 0x6C,
                         0x8C, 0xAC, 0x9C, 0xCE, 0x1C, 0x3C, 0x5C, 0x7C, 0xBC, 0xEC, 0x0C};

TEST(SerialRegisters, CountersLiveAndLatched) {
  VirtualArm arm(SixAxisSerialArm());
  arm.SetJointAngles(std::vector<double>{10, 0, -2.5, 1, 0, 2000});
  // Counts 400, 1000, -100, 40, 0, 80000 as 24-bit two's complement.
  const Bytes counters{0x90, 0xE8, 0x9C, 0x28, 0x00, 0x80, 0x01, 0x03, 0xFF,
                       0x00, 0x00, 0x38, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01};
  Bytes live{0x00, 0x00};
  live.insert(live.end(), counters.begin(), counters.end());
  live.insert(live.end(), {0xFF, 0x00});
  EXPECT_EQ(arm.HandleSerialRequest(kLiveList), live);

  Bytes latched = live;
  latched[20] = 0x03;  // every axis has passed its mark: bits 2 to 7 clear
  EXPECT_EQ(arm.HandleSerialRequest(kLatchedList), latched);

  arm.SetAllReferenced(false);
  arm.PassReferenceMark(0);
  arm.PassReferenceMark(2);
  arm.SetPowerOnShift(1, -1000);
  const Bytes unreferenced = arm.HandleSerialRequest(kLatchedList);
  EXPECT_EQ(unreferenced[20], 0xEB);  // only axes 1 and 3: bits 2 and 4 clear
  EXPECT_EQ(unreferenced[2], 0x90);   // referenced counter
  EXPECT_EQ(unreferenced[3], 0x00);   // 1000 - 1000
  EXPECT_EQ(unreferenced[9], 0x00);
}

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

TEST(Faults, UnpluggedArmIsSilentAndCountsNothing) {
  VirtualArm arm(SevenAxisUsbArm());
  arm.SetPlugged(false);
  EXPECT_FALSE(arm.plugged());
  EXPECT_TRUE(Usb(arm, {0x00, 0x02}).empty());
  EXPECT_TRUE(arm.HandleSerialRequest(Bytes{0xE0}).empty());
  EXPECT_EQ(arm.observations().requestsHandled, 0);
  arm.SetPlugged(true);
  EXPECT_EQ(Usb(arm, {0x00, 0x02}).size(), 3u);
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
