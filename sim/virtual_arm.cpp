#include "sim/virtual_arm.h"

#include <algorithm>
#include <cmath>

#include "sim/fault_injection.h"
#include "sim/serial_registers.h"
#include "sim/usb_commands.h"

namespace pilvo::sim {
namespace {

// Where an unreferenced counter stands off its referenced count: arbitrary, as the counters
// start wherever the arm stood at power-on, but fixed so that tests can compute it.
std::int32_t DefaultPowerOnShift(int joint) {
  return 12345 * (joint + 1);
}

// At most four characters, padded with blanks.
bool MakeIdentifier(std::string_view text, std::array<char, 4>& identifier) {
  if (text.empty() || text.size() > identifier.size()) return false;
  identifier.fill(' ');
  std::copy(text.begin(), text.end(), identifier.begin());
  return true;
}

bool ValidDigit(int digit) {
  return digit >= 0 && digit <= 9;
}

bool ValidAngle(double degrees) {
  return std::isfinite(degrees) && std::abs(degrees) <= kMaxJointAngle;
}

}  // namespace

VirtualArm::VirtualArm(ArmRecord record, const VirtualArmOptions& options)
    : record_(std::move(record)),
      jointCount_(static_cast<std::size_t>(std::clamp(record_.jointCount, 0, kMaxJoints))) {
  for (int joint = 0; joint < jointCount(); ++joint) {
    state_.joints.push_back(JointState{0.0, options.referenced, DefaultPowerOnShift(joint), 0.0});
  }
  state_.validReference = options.referenced;
  if (ValidDigit(options.firmware.major) && ValidDigit(options.firmware.minor)) {
    state_.firmware = options.firmware;
  }
  state_.identifier.fill(' ');
  if (!MakeIdentifier(options.identifier, state_.identifier)) {
    MakeIdentifier(std::string_view(record_.name).substr(0, 4), state_.identifier);
  }
  for (std::size_t i = 0; i < state_.thresholds.size(); ++i) {
    state_.thresholds[i] = static_cast<std::uint8_t>(record_.supplyThresholdBytes[i]);
  }
  state_.supply.monitored = record_.batteryPresent > 0;
}

std::vector<std::uint8_t> VirtualArm::HandleUsbRequest(std::span<const std::uint8_t> request) {
  std::lock_guard lock(mutex_);
  if (!state_.plugged) return {};
  ++state_.observations.requestsHandled;
  std::vector<std::uint8_t> reply = AnswerUsbCommand(record_, state_, request);
  ApplyFault(state_.faults, Link::Usb, reply);
  return reply;
}

std::vector<std::uint8_t> VirtualArm::HandleSerialRequest(std::span<const std::uint8_t> registers) {
  std::lock_guard lock(mutex_);
  if (!state_.plugged) return {};
  ++state_.observations.requestsHandled;
  std::vector<std::uint8_t> reply = AnswerSerialRequest(record_, state_, registers);
  ApplyFault(state_.faults, Link::Serial, reply);
  return reply;
}

bool VirtualArm::plugged() const {
  std::lock_guard lock(mutex_);
  return state_.plugged;
}

void VirtualArm::SetPlugged(bool plugged) {
  std::lock_guard lock(mutex_);
  state_.plugged = plugged;
}

ArmState VirtualArm::snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

Observations VirtualArm::observations() const {
  std::lock_guard lock(mutex_);
  return state_.observations;
}

std::vector<double> VirtualArm::jointAngles() const {
  std::lock_guard lock(mutex_);
  std::vector<double> angles;
  for (const JointState& joint : state_.joints) angles.push_back(joint.angle);
  return angles;
}

void VirtualArm::MoveJoint(JointState& joint, double degrees) {
  const bool reachesMark = (joint.angle < joint.markAngle && degrees >= joint.markAngle) ||
                           (joint.angle > joint.markAngle && degrees <= joint.markAngle);
  if (reachesMark) joint.referenced = true;
  joint.angle = degrees;
}

bool VirtualArm::SetJointAngle(int joint, double degrees) {
  if (!ValidJoint(joint) || !ValidAngle(degrees)) return false;
  std::lock_guard lock(mutex_);
  MoveJoint(state_.joints[static_cast<std::size_t>(joint)], degrees);
  return true;
}

bool VirtualArm::SetJointAngles(std::span<const double> degrees) {
  if (degrees.size() > jointCount_ || !std::all_of(degrees.begin(), degrees.end(), ValidAngle)) {
    return false;
  }
  std::lock_guard lock(mutex_);
  for (std::size_t joint = 0; joint < degrees.size(); ++joint) {
    MoveJoint(state_.joints[joint], degrees[joint]);
  }
  return true;
}

bool VirtualArm::SetButton(int button, bool down, std::optional<ButtonBoard> board) {
  if (button < 1 || button > kButtonCount) return false;
  const ButtonBoard where =
      board.value_or(record_.board3Axes > 0 ? ButtonBoard::Both : ButtonBoard::Board1);
  std::lock_guard lock(mutex_);
  auto& boards = state_.buttons[static_cast<std::size_t>(button - 1)];
  if (where != ButtonBoard::Board3) boards[0] = down;
  if (where != ButtonBoard::Board1) boards[1] = down;
  return true;
}

void VirtualArm::SetAuxiliaryRequest(bool requested) {
  std::lock_guard lock(mutex_);
  state_.auxiliaryRequest = requested;
}

bool VirtualArm::SetTemperatures(const std::array<double, 3>& celsius) {
  if (!std::all_of(celsius.begin(), celsius.end(), [](double t) { return std::isfinite(t); })) {
    return false;
  }
  std::lock_guard lock(mutex_);
  state_.temperatures = celsius;
  return true;
}

void VirtualArm::SetCalibrationWords(const std::array<std::uint16_t, 3>& words) {
  std::lock_guard lock(mutex_);
  state_.calibrationWords = words;
}

bool VirtualArm::SetSupply(const SupplyState& supply) {
  if (supply.reading > kMaxSupplyReading) return false;
  std::lock_guard lock(mutex_);
  state_.supply = supply;
  return true;
}

bool VirtualArm::SetFirmware(const FirmwareVersion& version) {
  if (!ValidDigit(version.major) || !ValidDigit(version.minor)) return false;
  std::lock_guard lock(mutex_);
  state_.firmware = version;
  return true;
}

bool VirtualArm::SetIdentifier(std::string_view identifier) {
  std::array<char, 4> padded{};
  if (!MakeIdentifier(identifier, padded)) return false;
  std::lock_guard lock(mutex_);
  state_.identifier = padded;
  return true;
}

void VirtualArm::SetValidReference(bool valid) {
  std::lock_guard lock(mutex_);
  state_.validReference = valid;
}

bool VirtualArm::PassReferenceMark(int joint) {
  if (!ValidJoint(joint)) return false;
  std::lock_guard lock(mutex_);
  state_.joints[static_cast<std::size_t>(joint)].referenced = true;
  return true;
}

void VirtualArm::SetAllReferenced(bool referenced) {
  std::lock_guard lock(mutex_);
  for (JointState& joint : state_.joints) joint.referenced = referenced;
}

bool VirtualArm::SetPowerOnShift(int joint, std::int32_t counts) {
  if (!ValidJoint(joint)) return false;
  std::lock_guard lock(mutex_);
  state_.joints[static_cast<std::size_t>(joint)].powerOnShift = counts;
  return true;
}

bool VirtualArm::SetMarkAngle(int joint, double degrees) {
  if (!ValidJoint(joint) || !ValidAngle(degrees)) return false;
  std::lock_guard lock(mutex_);
  state_.joints[static_cast<std::size_t>(joint)].markAngle = degrees;
  return true;
}

bool VirtualArm::InjectFault(Fault fault, std::optional<int> replies,
                             std::optional<std::uint8_t> usbCommand) {
  if (replies && *replies < 1) return false;
  std::lock_guard lock(mutex_);
  state_.faults = FaultPlan{fault, replies, usbCommand};
  return true;
}

void VirtualArm::ClearFaults() {
  std::lock_guard lock(mutex_);
  state_.faults = FaultPlan{};
}

}  // namespace pilvo::sim
