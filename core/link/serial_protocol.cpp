#include "link/serial_protocol.h"

#include "link/arm_board.h"
#include "link/arm_link.h"

namespace pilvo {
namespace {

constexpr std::uint8_t kPresenceRegister = 0x04;
constexpr std::uint8_t kAcknowledgeRegister = 0xD0;
constexpr std::uint8_t kMarkStatusRegister = 0xE0;

// A clear bit is a mark passed: bits 2 to 6 for axes 1 to 5, bit 7 for a sixth axis.
std::uint32_t MarksOfStatus(std::uint8_t status, int jointCount) {
  std::uint32_t marked = 0;
  for (int bit = 2; bit <= 6; ++bit) {
    if ((status & (1u << bit)) == 0) marked |= 1u << (bit - 2);
  }
  if (jointCount == 6 && (status & 0x80u) == 0) marked |= 1u << 5;
  return marked;
}

}  // namespace

SerialProtocol::SerialProtocol(ArmLink& link, const ArmRecord& record)
    : link_(link), record_(record) {}

void SerialProtocol::BuildRequest(std::uint8_t offset) {
  request_ = BuildSerialRegisterList(record_, offset);
}

bool SerialProtocol::Exchange(std::span<const std::uint8_t> registers,
                              std::span<std::uint8_t> reply) {
  ArmTransport& transport = link_.serialTransport();
  transport.Write(registers);
  return transport.Read(reply) == reply.size();
}

int SerialProtocol::ReadCounts(CountList& counts, StatusPair& status) {
  if (request_.length == 0) BuildRequest(0);
  const std::size_t length = request_.length;
  // A reply too short for the record's axes can only come from a list built for another record.
  const auto reply = std::span(reply_).first(length);
  if (!Exchange(std::span(request_.registers).first(length), reply) ||
      !DecodeSerialCounts(record_, reply, wrapWindow_, counts)) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  const std::size_t last = length - 1;
  status = {reply_[last - 2], reply_[last - 1]};
  return board::kOk;
}

int SerialProtocol::QueryArmIdentity(ArmIdentity&) {
  return board::kLinkClosed;
}

int SerialProtocol::ReadTemperatureCalibration(CalibrationWords&) {
  return board::kLinkClosed;
}

int SerialProtocol::ReadBatteryThresholds(std::array<std::uint8_t, 5>&) {
  return board::kLinkClosed;
}

int SerialProtocol::WriteBatteryThresholds() {
  return board::kNeedsUsb;
}

int SerialProtocol::ConfigureBoards() {
  return board::kNeedsUsb;
}

int SerialProtocol::ConfigureForInitialisation(bool& validReference) {
  validReference = false;
  return board::kLinkClosed;
}

int SerialProtocol::AcknowledgeInput(int) {
  const std::uint8_t offset = request_.offset;
  Bytes2 reply{};
  Exchange(Bytes2{static_cast<std::uint8_t>(kAcknowledgeRegister + offset), offset}, reply);
  return board::kOk;
}

void SerialProtocol::AcknowledgeScannerPress() {
  AcknowledgeInput(0);
}

int SerialProtocol::RawExchange(std::span<std::uint8_t> buffer) {
  if (!Exchange(buffer, buffer)) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  return board::kOk;
}

int SerialProtocol::ProbePresence() {
  Bytes2 reply{};
  if (!Exchange(Bytes2{kPresenceRegister, 0x00}, reply)) {
    link_.ChiudePorta();
    return board::kShortSerialReply;
  }
  return board::kOk;
}

int SerialProtocol::ReadReferenceMarks(bool, std::uint32_t& marked) {
  BuildRequest(kLatchedRegisterOffset);
  Bytes2 reply{};
  if (!Exchange(Bytes2{kMarkStatusRegister + kLatchedRegisterOffset, kLatchedRegisterOffset},
                reply)) {
    link_.ChiudePorta();
    return board::kShortMarkReply;
  }
  marked = MarksOfStatus(reply[0], record_.jointCount);
  return board::kOk;
}

}  // namespace pilvo
