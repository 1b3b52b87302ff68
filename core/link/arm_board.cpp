#include "link/arm_board.h"

#include <algorithm>

#include "link/arm_link.h"
#include "link/supply_state.h"

namespace pilvo {
namespace {

using Bytes2 = std::array<std::uint8_t, 2>;

constexpr std::uint8_t kVersionCode = 0x00;
constexpr std::uint8_t kIdentifierCode = 0x01;
constexpr std::uint8_t kReadThresholdsCode = 0x14;
constexpr std::uint8_t kWriteThresholdsCode = 0x15;
constexpr std::uint8_t kConfigureCode = 0x32;
constexpr std::uint8_t kMarksCode = 0x33;
constexpr std::uint8_t kCountsCode = 0x34;
constexpr std::uint8_t kAcknowledgeCode = 0x35;
constexpr std::uint8_t kTemperatureCalibrationCode = 0x41;
constexpr std::uint8_t kReleaseCode = 0x50;

constexpr int kFirmwareWithSupply = 15;
constexpr std::uint8_t kValidReferenceReply = 2;
constexpr std::uint8_t kAcknowledgeRegister = 0xD0;
constexpr std::uint8_t kMarkStatusRegister = 0xE0;

std::uint8_t Byte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

JointTables DeriveJointTables(const ArmRecord& record) {
  JointTables tables;
  tables.offsets = record.encoderOffsets;
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    tables.directions[joint] = record.jointReversed[joint] ? -1 : 1;
  }
  return tables;
}

ArmBoard::ArmBoard(ArmLink& link, ArmRecord& record, const JointTables& tables)
    : link_(link), record_(record), tables_(tables) {}

bool ArmBoard::UsbReady() {
  return link_.IsUsb() && link_.IsOpen();
}

int ArmBoard::UsbQuery(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply) {
  auto received = static_cast<std::uint32_t>(reply.size());
  if (link_.UsbTransact(request, reply, received, kUsbTimeoutMs, kUsbTimeoutMs) != 1) {
    return board::kUsbExchangeFailed;
  }
  if (received != reply.size() || reply[0] != request[0]) return board::kUsbBadReply;
  return board::kOk;
}

int ArmBoard::UsbExchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply) {
  const int result = UsbQuery(request, reply);
  if (result != board::kOk) link_.ChiudePorta();
  return result;
}

int ArmBoard::ReadArmCounts(CountList& counts) {
  if (!link_.IsOpen() && link_.OpenArmPort() != 0) return board::kLinkClosed;
  return link_.IsUsb() ? ReadUsbCounts(counts) : ReadSerialCounts(counts);
}

int ArmBoard::ReadSerialCounts(CountList& counts) {
  if (serialRequest_.length == 0) BuildSerialRequest(0);
  const std::size_t length = serialRequest_.length;
  link_.SerialWrite(std::span(serialRequest_.registers).first(length));
  // A reply too short for the record's axes can only come from a list built for another record.
  const auto reply = std::span(serialReply_).first(length);
  if (link_.SerialRead(reply) != length ||
      !DecodeSerialCounts(record_, reply, wrapWindow_, counts)) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  const std::size_t last = length - 1;
  status_ = {serialReply_[last - 2], serialReply_[last - 1]};
  FinishRead(counts);
  return board::kOk;
}

int ArmBoard::ReadUsbCounts(CountList& counts) {
  const bool withSupply = firmwareCode_ >= kFirmwareWithSupply;
  std::array<std::uint8_t, kUsbCountBlockWithSupply> reply{};
  const std::array<std::uint8_t, 3> request = {
      kCountsCode, static_cast<std::uint8_t>(withSupply ? 3 : 2), kConfigureCode};
  const int result =
      UsbExchange(std::span(request).first(withSupply ? 3 : 2),
                  std::span(reply).first(withSupply ? kUsbCountBlockWithSupply : kUsbCountBlock));
  if (result != board::kOk) return result;

  const auto block = std::span(reply).first<kUsbCountBlock>();
  DecodeUsbCounts(record_, block, counts);
  status_ = DecodeUsbStatus(record_, block);
  rawTemperatures_ = RawTemperaturesOf(block);
  ComputeTemperatures(temperatures_);
  if (withSupply) {
    supply_ = DecodeSupply(reply);
  } else {
    // Without supply data the last reading stays, but nothing is reported any more.
    supply_.monitor = false;
    supply_.onBattery = false;
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
  serialRequest_ = BuildSerialRegisterList(record_, offset);
  return board::kOk;
}

int ArmBoard::QueryArmIdentity(ArmIdentity& identity) {
  if (!UsbReady()) return board::kLinkClosed;
  std::array<std::uint8_t, kIdentifierReply> id{};
  if (const int result = UsbExchange(Bytes2{kIdentifierCode, 2}, id); result != board::kOk) {
    return result;
  }
  std::array<std::uint8_t, kVersionReply> version{};
  if (const int result = UsbExchange(Bytes2{kVersionCode, 2}, version); result != board::kOk) {
    return result;
  }
  identity = DecodeArmIdentity(id, version);
  return board::kOk;
}

int ArmBoard::ReadTemperatureCalibration(CalibrationWords& words) {
  if (!UsbReady()) return board::kLinkClosed;
  const int result = QueryTemperatureCalibration(words);
  if (result != board::kOk) link_.ChiudePorta();
  return result;
}

int ArmBoard::QueryTemperatureCalibration(CalibrationWords& words) {
  std::array<std::uint8_t, kTemperatureCalibrationReply> reply{};
  if (const int result = UsbQuery(Bytes2{kTemperatureCalibrationCode, 2}, reply);
      result != board::kOk) {
    return result;
  }
  words = DecodeCalibrationWords(reply);
  gains_ = TemperatureGainsOf(words);
  return board::kOk;
}

int ArmBoard::ComputeTemperatures(std::array<double, 3>& temperatures) const {
  temperatures = TemperaturesOf(rawTemperatures_, gains_);
  return board::kOk;
}

void ArmBoard::TakeReportedTemperatures(std::array<double, 3>& temperatures) const {
  // Serial boards send no temperatures at all.
  if (link_.IsUsb()) pilvo::TakeReportedTemperatures(rawTemperatures_, gains_, temperatures);
}

int ArmBoard::ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) {
  if (!UsbReady()) return board::kLinkClosed;
  std::array<std::uint8_t, kThresholdsReply> reply{};
  if (const int result = UsbExchange(Bytes2{kReadThresholdsCode, 2}, reply); result != board::kOk) {
    return result;
  }
  bytes = DecodeBatteryThresholds(reply);
  return board::kOk;
}

int ArmBoard::WriteBatteryThresholds() {
  if (!link_.IsUsb()) return board::kNeedsUsb;
  if (!link_.IsOpen()) return board::kLinkClosed;
  const auto& t = record_.supplyThresholdBytes;
  const std::array<std::uint8_t, 6> request = {kWriteThresholdsCode, 6,          Byte(t[0]),
                                               Byte(t[1]),           Byte(t[2]), Byte(t[3])};
  std::array<std::uint8_t, 2> reply{};
  return UsbExchange(request, reply);
}

int ArmBoard::ConfigureBoards() {
  if (!link_.IsUsb()) return board::kNeedsUsb;
  if (!link_.IsOpen()) return board::kLinkClosed;
  const std::array<std::uint8_t, 5> request = {kConfigureCode, 5, Byte(record_.board1Axes),
                                               Byte(record_.board2Axes), Byte(record_.board3Axes)};
  std::array<std::uint8_t, 6> reply{};
  switch (UsbExchange(request, reply)) {
    case board::kOk:
      break;
    case board::kUsbExchangeFailed:
      return board::kNeedsUsb;
    default:
      return board::kUsbExchangeFailed;
  }
  record_.options.auxiliaryInput0 = false;
  record_.options.auxiliaryInput1 = false;
  record_.options.auxiliaryInput2 = false;
  return board::kOk;
}

int ArmBoard::ConfigureForInitialisation(bool& validReference) {
  validReference = false;
  if (!UsbReady()) return board::kLinkClosed;
  const std::array<std::uint8_t, 5> request = {kConfigureCode, 5, Byte(record_.board1Axes),
                                               Byte(record_.board2Axes), Byte(record_.board3Axes)};
  std::array<std::uint8_t, 6> reply{};
  if (UsbExchange(request, reply) != board::kOk) return board::kLinkClosed;
  // A board that cannot give its calibration still measures, so the link stays open; channels
  // without a gain are measured at the ambient temperature.
  CalibrationWords words{};
  QueryTemperatureCalibration(words);
  validReference = reply[1] == kValidReferenceReply;
  return board::kOk;
}

void ArmBoard::SetProbeMode(int setting) {
  if (!UsbReady()) return;
  std::array<std::uint8_t, kUsbCountBlock> reply{};
  UsbQuery(
      std::array<std::uint8_t, 3>{kMarksCode, 3, static_cast<std::uint8_t>(setting != 0 ? 2 : 1)},
      reply);
}

int ArmBoard::AcknowledgeInput(int input) {
  if (link_.IsUsb()) {
    std::array<std::uint8_t, 2> reply{};
    return UsbExchange(std::array<std::uint8_t, 3>{kAcknowledgeCode, 3, Byte(input)}, reply);
  }
  const std::uint8_t offset = serialRequest_.offset;
  const Bytes2 request = {static_cast<std::uint8_t>(kAcknowledgeRegister + offset), offset};
  Bytes2 reply{};
  link_.SerialWrite(request);
  link_.SerialRead(reply);
  return board::kOk;
}

void ArmBoard::ReleaseArm() {
  if (!UsbReady()) return;
  std::array<std::uint8_t, 2> reply{};
  UsbQuery(Bytes2{kReleaseCode, 2}, reply);
}

std::string ArmBoard::SupplyStateText() const {
  return pilvo::SupplyStateText(supply_.reading, record_);
}

int ArmBoard::RawExchange(std::span<std::uint8_t> buffer) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  if (link_.IsUsb()) {
    std::array<std::uint8_t, kUsbCountBlock> reply{};
    if (const int result = UsbExchange(Bytes2{kCountsCode, 2}, reply); result != board::kOk) {
      return result;
    }
    std::copy_n(reply.begin(), std::min(buffer.size(), reply.size()), buffer.begin());
    return board::kOk;
  }
  link_.SerialWrite(buffer);
  if (link_.SerialRead(buffer) != buffer.size()) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  return board::kOk;
}

int ArmBoard::ProbeSerialPresence() {
  if (!link_.IsOpen()) return board::kLinkClosed;
  const Bytes2 request = {0x04, 0x00};
  Bytes2 reply{};
  link_.SerialWrite(request);
  if (link_.SerialRead(reply) != reply.size()) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  return board::kOk;
}

int ArmBoard::ReadSerialMarkStatus(std::uint8_t& markStatus) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  BuildSerialRequest(kLatchedRegisterOffset);
  const Bytes2 request = {kMarkStatusRegister + kLatchedRegisterOffset, kLatchedRegisterOffset};
  Bytes2 reply{};
  link_.SerialWrite(request);
  if (link_.SerialRead(reply) != reply.size()) {
    link_.ChiudePorta();
    return board::kShortMarkReply;
  }
  markStatus = reply[0];
  return board::kOk;
}

int ArmBoard::ReadUsbMarks(bool thirdAxisCompanion, std::array<bool, kMaxJoints>& marked,
                           std::size_t& axes) {
  if (!UsbReady()) return board::kLinkClosed;
  std::array<std::uint8_t, kUsbCountBlock> reply{};
  if (const int result = UsbExchange(std::array<std::uint8_t, 3>{kMarksCode, 3, 0}, reply);
      result != board::kOk) {
    return result;
  }
  axes = DecodeUsbMarks(record_, thirdAxisCompanion, reply, marked);
  return board::kOk;
}

void ArmBoard::ConfirmReferenceMarks() {
  SetProbeMode(record_.options.probeMode ? 1 : 0);
}

}  // namespace pilvo
