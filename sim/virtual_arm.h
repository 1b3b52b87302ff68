// The virtual arm: the encoder boards of one arm as a host sees them over USB (command packets)
// and serial (register lists), driven by joint angles, buttons, sensors and injected faults.
// Every member is safe to call from any thread: the servers answer the host from their threads
// while tests and the control channel change the arm.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/arm_record.h"
#include "sim/arm_state.h"

namespace pilvo::sim {

struct VirtualArmOptions {
  std::string identifier;  // at most 4 characters; empty: the first 4 of the record's name
  FirmwareVersion firmware;
  // False: every joint starts unreferenced and the board holds no valid reference.
  bool referenced = true;
};

// The angle range a joint accepts, degrees either way.
inline constexpr double kMaxJointAngle = 100000.0;

inline constexpr std::uint16_t kMaxSupplyReading = 0x3FFF;

// For InjectFault: spoil every reply until ClearFaults.
inline constexpr std::optional<int> kUntilCleared = std::nullopt;

class VirtualArm {
 public:
  explicit VirtualArm(ArmRecord record, const VirtualArmOptions& options = {});
  VirtualArm(const VirtualArm&) = delete;
  VirtualArm& operator=(const VirtualArm&) = delete;

  // One USB command packet in, its reply out; empty means no reply (silence).
  std::vector<std::uint8_t> HandleUsbRequest(std::span<const std::uint8_t> request);
  // A list of serial register addresses in, one byte per address out (fewer or none under
  // faults or when unplugged).
  std::vector<std::uint8_t> HandleSerialRequest(std::span<const std::uint8_t> registers);

  bool plugged() const;
  void SetPlugged(bool plugged);

  const ArmRecord& record() const { return record_; }
  int jointCount() const { return static_cast<int>(jointCount_); }
  // A copy of everything the boards hold, taken at one instant.
  ArmState snapshot() const;
  Observations observations() const;
  std::vector<double> jointAngles() const;

  // Setters return false and change nothing when an argument is out of range. Joints are
  // numbered from 0, buttons from 1.
  bool SetJointAngle(int joint, double degrees);
  // Sets joints 0 … size-1; more angles than joints is refused.
  bool SetJointAngles(std::span<const double> degrees);
  // Board: nothing means both boards when the arm has a board 3, else board 1.
  bool SetButton(int button, bool down, std::optional<ButtonBoard> board = std::nullopt);
  void SetAuxiliaryRequest(bool requested);
  bool SetTemperatures(const std::array<double, 3>& celsius);
  void SetCalibrationWords(const std::array<std::uint16_t, 3>& words);
  bool SetSupply(const SupplyState& supply);
  bool SetFirmware(const FirmwareVersion& version);
  bool SetIdentifier(std::string_view identifier);
  void SetValidReference(bool valid);

  // Reference marks: a joint becomes referenced when it passes its mark, either told so here or
  // by moving onto or across its mark angle from an angle on the other side.
  bool PassReferenceMark(int joint);
  void SetAllReferenced(bool referenced);
  bool SetPowerOnShift(int joint, std::int32_t counts);
  bool SetMarkAngle(int joint, double degrees);

  // The fault spoils the next `replies` replies (at least 1), or every reply until cleared,
  // or only those to `usbCommand`; it replaces any fault still pending.
  bool InjectFault(Fault fault, std::optional<int> replies = 1,
                   std::optional<std::uint8_t> usbCommand = std::nullopt);
  void ClearFaults();

 private:
  bool ValidJoint(int joint) const { return joint >= 0 && joint < jointCount(); }
  void MoveJoint(JointState& joint, double degrees);

  const ArmRecord record_;
  const std::size_t jointCount_;
  mutable std::mutex mutex_;
  ArmState state_;
};

}  // namespace pilvo::sim
