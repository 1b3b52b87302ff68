#include "link/usb_protocol.h"

#include <algorithm>

#include "link/arm_board.h"
#include "link/arm_link.h"

namespace pilvo {
namespace {

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

std::uint8_t Byte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

// A command whose reply is read but not looked at: nothing closes the link.
void SendUnchecked(ArmTransport& usb, std::span<const std::uint8_t> request,
                   std::size_t replyLength) {
  std::array<std::uint8_t, kUsbCountBlock> reply{};
  if (usb.Write(request)) usb.Read(std::span(reply).first(replyLength));
}

}  // namespace

void SendRelease(ArmTransport& usb) {
  SendUnchecked(usb, Bytes2{kReleaseCode, 2}, 2);
}

UsbProtocol::UsbProtocol(ArmLink& link, ArmRecord& record) : link_(link), record_(record) {}

int UsbProtocol::Query(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply) {
  ArmTransport& transport = link_.usbTransport();
  if (!transport.Write(request) || transport.Read(reply) != reply.size()) {
    return board::kUsbExchangeFailed;
  }
  if (reply[0] != request[0]) return board::kUsbBadReply;
  return board::kOk;
}

int UsbProtocol::Exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply) {
  const int result = Query(request, reply);
  if (result != board::kOk) link_.ChiudePorta();
  return result;
}

int UsbProtocol::ReadCounts(CountList& counts, StatusPair& status) {
  const bool withSupply = firmwareCode_ >= kFirmwareWithSupply;
  std::array<std::uint8_t, kUsbCountBlockWithSupply> reply{};
  const std::array<std::uint8_t, 3> request = {
      kCountsCode, static_cast<std::uint8_t>(withSupply ? 3 : 2), kConfigureCode};
  const int result =
      Exchange(std::span(request).first(withSupply ? 3 : 2),
               std::span(reply).first(withSupply ? kUsbCountBlockWithSupply : kUsbCountBlock));
  if (result != board::kOk) return result;

  const auto block = std::span(reply).first<kUsbCountBlock>();
  DecodeUsbCounts(record_, block, counts);
  status = DecodeUsbStatus(record_, block);
  rawTemperatures_ = RawTemperaturesOf(block);
  ComputeTemperatures(temperatures_);
  if (withSupply) {
    supply_ = DecodeSupply(reply);
  } else {
    // Without supply data the last reading stays, but nothing is reported any more.
    supply_.monitor = false;
    supply_.onBattery = false;
  }
  return board::kOk;
}

int UsbProtocol::ComputeTemperatures(std::array<double, 3>& temperatures) const {
  temperatures = TemperaturesOf(rawTemperatures_, gains_);
  return board::kOk;
}

int UsbProtocol::QueryArmIdentity(ArmIdentity& identity) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  std::array<std::uint8_t, kIdentifierReply> id{};
  if (const int result = Exchange(Bytes2{kIdentifierCode, 2}, id); result != board::kOk) {
    return result;
  }
  std::array<std::uint8_t, kVersionReply> version{};
  if (const int result = Exchange(Bytes2{kVersionCode, 2}, version); result != board::kOk) {
    return result;
  }
  identity = DecodeArmIdentity(id, version);
  return board::kOk;
}

int UsbProtocol::ReadTemperatureCalibration(CalibrationWords& words) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  const int result = QueryTemperatureCalibration(words);
  if (result != board::kOk) link_.ChiudePorta();
  return result;
}

int UsbProtocol::QueryTemperatureCalibration(CalibrationWords& words) {
  std::array<std::uint8_t, kTemperatureCalibrationReply> reply{};
  if (const int result = Query(Bytes2{kTemperatureCalibrationCode, 2}, reply);
      result != board::kOk) {
    return result;
  }
  words = DecodeCalibrationWords(reply);
  gains_ = TemperatureGainsOf(words);
  return board::kOk;
}

void UsbProtocol::TakeReportedTemperatures(std::array<double, 3>& temperatures) const {
  pilvo::TakeReportedTemperatures(rawTemperatures_, gains_, temperatures);
}

int UsbProtocol::ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) {
  if (!link_.IsOpen()) return board::kLinkClosed;
  std::array<std::uint8_t, kThresholdsReply> reply{};
  if (const int result = Exchange(Bytes2{kReadThresholdsCode, 2}, reply); result != board::kOk) {
    return result;
  }
  bytes = DecodeBatteryThresholds(reply);
  return board::kOk;
}

int UsbProtocol::WriteBatteryThresholds() {
  if (!link_.IsOpen()) return board::kLinkClosed;
  const auto& t = record_.supplyThresholdBytes;
  const std::array<std::uint8_t, 6> request = {kWriteThresholdsCode, 6,          Byte(t[0]),
                                               Byte(t[1]),           Byte(t[2]), Byte(t[3])};
  std::array<std::uint8_t, 2> reply{};
  return Exchange(request, reply);
}

int UsbProtocol::Configure(std::span<std::uint8_t, 6> reply) {
  const std::array<std::uint8_t, 5> request = {kConfigureCode, 5, Byte(record_.board1Axes),
                                               Byte(record_.board2Axes), Byte(record_.board3Axes)};
  return Exchange(request, reply);
}

int UsbProtocol::ConfigureBoards() {
  if (!link_.IsOpen()) return board::kLinkClosed;
  std::array<std::uint8_t, 6> reply{};
  switch (Configure(reply)) {
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

int UsbProtocol::ConfigureForInitialisation(bool& validReference) {
  validReference = false;
  if (!link_.IsOpen()) return board::kLinkClosed;
  std::array<std::uint8_t, 6> reply{};
  if (Configure(reply) != board::kOk) return board::kLinkClosed;
  // A board that cannot give its calibration still measures, so the link stays open; channels
  // without a gain are measured at the ambient temperature.
  CalibrationWords words{};
  QueryTemperatureCalibration(words);
  validReference = reply[1] == kValidReferenceReply;
  return board::kOk;
}

void UsbProtocol::SetProbeMode(int setting) {
  if (!link_.IsOpen()) return;
  SendUnchecked(
      link_.usbTransport(),
      std::array<std::uint8_t, 3>{kMarksCode, 3, static_cast<std::uint8_t>(setting != 0 ? 2 : 1)},
      kUsbCountBlock);
}

int UsbProtocol::AcknowledgeInput(int input) {
  std::array<std::uint8_t, 2> reply{};
  return Exchange(std::array<std::uint8_t, 3>{kAcknowledgeCode, 3, Byte(input)}, reply);
}

void UsbProtocol::ReleaseArm() {
  if (link_.IsOpen()) SendRelease(link_.usbTransport());
}

int UsbProtocol::RawExchange(std::span<std::uint8_t> buffer) {
  std::array<std::uint8_t, kUsbCountBlock> reply{};
  if (const int result = Exchange(Bytes2{kCountsCode, 2}, reply); result != board::kOk) {
    return result;
  }
  std::copy_n(reply.begin(), std::min(buffer.size(), reply.size()), buffer.begin());
  return board::kOk;
}

int UsbProtocol::ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked) {
  std::array<std::uint8_t, kUsbCountBlock> reply{};
  if (const int result = Exchange(std::array<std::uint8_t, 3>{kMarksCode, 3, 0}, reply);
      result != board::kOk) {
    return result;
  }
  std::array<bool, kMaxJoints> flags{};
  const std::size_t axes = DecodeUsbMarks(record_, thirdAxisCompanion, reply, flags);
  marked = 0;
  for (std::size_t i = 0; i < axes; ++i) {
    if (flags[i]) marked |= 1u << i;
  }
  return board::kOk;
}

void UsbProtocol::ConfirmReferenceMarks() {
  SetProbeMode(record_.options.probeMode ? 1 : 0);
}

}  // namespace pilvo
