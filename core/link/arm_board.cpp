#include "link/arm_board.h"

#include <algorithm>

#include "link/arm_link.h"
#include "link/supply_state.h"

namespace pilvo {

JointTables DeriveJointTables(const ArmRecord& record) {
  JointTables tables;
  tables.offsets = record.encoderOffsets;
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    tables.directions[joint] = record.jointReversed[joint] ? -1 : 1;
  }
  return tables;
}

ArmBoard::ArmBoard(ArmLink& link, ArmRecord& record, const JointTables& tables)
    : link_(link), record_(record), tables_(tables), serial_(link, record), usb_(link, record) {}

BoardProtocol& ArmBoard::protocol() {
  if (link_.IsUsb()) return usb_;
  return serial_;
}

int ArmBoard::ReadArmCounts(CountList& counts) {
  if (!link_.IsOpen() && link_.OpenArmPort() != 0) return board::kLinkClosed;
  if (const int result = protocol().ReadCounts(counts, status_); result != board::kOk) {
    return result;
  }
  FinishRead(counts);
  return board::kOk;
}

void ArmBoard::FinishRead(CountList& counts) {
  if (record_.options.insertedAxis) InsertFixedJoint(counts);
  const int joints = std::clamp(record_.jointCount, 0, kMaxJoints);
  for (int i = 0; i < joints; ++i) {
    // 32-bit arithmetic that wraps like the board's own registers.
    const std::uint32_t value =
        (static_cast<std::uint32_t>(counts[i]) + static_cast<std::uint32_t>(tables_.offsets[i])) *
        static_cast<std::uint32_t>(tables_.directions[i]);
    jointValues_[i] = static_cast<std::int32_t>(value);
  }
  countsFresh_ = true;
}

int ArmBoard::BuildSerialRequest(std::uint8_t offset) {
  serial_.BuildRequest(offset);
  return board::kOk;
}

int ArmBoard::QueryArmIdentity(ArmIdentity& identity) {
  return protocol().QueryArmIdentity(identity);
}

int ArmBoard::ReadTemperatureCalibration(CalibrationWords& words) {
  return protocol().ReadTemperatureCalibration(words);
}

int ArmBoard::ComputeTemperatures(std::array<double, 3>& temperatures) const {
  return usb_.ComputeTemperatures(temperatures);
}

void ArmBoard::TakeReportedTemperatures(std::array<double, 3>& temperatures) const {
  // Serial boards send no temperatures at all.
  if (link_.IsUsb()) usb_.TakeReportedTemperatures(temperatures);
}

int ArmBoard::ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) {
  return protocol().ReadBatteryThresholds(bytes);
}

int ArmBoard::WriteBatteryThresholds() {
  return protocol().WriteBatteryThresholds();
}

int ArmBoard::ConfigureBoards() {
  return protocol().ConfigureBoards();
}

int ArmBoard::ConfigureForInitialisation(bool& validReference) {
  return protocol().ConfigureForInitialisation(validReference);
}

void ArmBoard::SetProbeMode(int setting) {
  protocol().SetProbeMode(setting);
}

int ArmBoard::AcknowledgeInput(int input) {
  return protocol().AcknowledgeInput(input);
}

void ArmBoard::AcknowledgeScannerPress() {
  protocol().AcknowledgeScannerPress();
}

void ArmBoard::ReleaseArm() {
  protocol().ReleaseArm();
}

std::string ArmBoard::SupplyStateText() const {
  return pilvo::SupplyStateText(supplyReading(), record_, link_.context().language());
}

int ArmBoard::RawExchange(std::span<std::uint8_t> buffer) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  return protocol().RawExchange(buffer);
}

int ArmBoard::ProbeSerialPresence() {
  if (!link_.IsOpen()) return board::kLinkClosed;
  return serial_.ProbePresence();
}

int ArmBoard::ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  return protocol().ReadReferenceMarks(thirdAxisCompanion, marked);
}

void ArmBoard::ConfirmReferenceMarks() {
  protocol().ConfirmReferenceMarks();
}

}  // namespace pilvo
