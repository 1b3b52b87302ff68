// Everything a virtual arm's boards hold: what the operator and the tests set, what the host has
// sent, and the faults still to come. Plain data; VirtualArm guards it with its lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace pilvo::sim {

// What goes wrong with the next replies, on both links.
enum class Fault {
  Silence,       // no reply at all
  ShortReply,    // the reply loses its last byte
  WrongEcho,     // USB: the first byte is inverted; serial: as CorruptBytes
  CorruptBytes,  // every byte after the USB echo (every serial byte) is inverted
};

// Which board's status bits show a button.
enum class ButtonBoard { Board1, Board3, Both };

// Buttons 1, 2 and 3, and button 4: the extra button of serial boards (status byte 1, bit 7).
inline constexpr int kButtonCount = 4;

struct FirmwareVersion {
  int major = 1;  // 0 to 9
  int minor = 5;  // 0 to 9
  // The version times ten: 15 for "1.5".
  int code() const { return major * 10 + minor; }
  bool operator==(const FirmwareVersion&) const = default;
};

struct SupplyState {
  std::uint16_t reading = 800;  // 14 bits, 5/256 V per unit
  bool monitored = true;        // the board reports its supply at all
  bool onBattery = false;       // else it runs on external power
  bool operator==(const SupplyState&) const = default;
};

struct JointState {
  double angle = 0.0;  // degrees, the kinematic joint value
  bool referenced = true;
  std::int32_t powerOnShift = 0;  // added to the counter until the joint is referenced
  double markAngle = 0.0;         // where the joint's reference mark sits, degrees
};

// What the host has told the boards, for the tests to check.
struct Observations {
  std::optional<std::array<int, 3>> configuration;  // axes per board of the last configure
  std::optional<std::uint8_t> probeModeByte;        // the m of the last 33 03 m with m = 1, 2
  std::vector<int> acknowledgedInputs;  // k of each USB acknowledge, -1 for a serial one
  int releaseCount = 0;
  int requestsHandled = 0;  // requests received while plugged, well-formed or not
};

struct FaultPlan {
  std::optional<Fault> fault;
  std::optional<int> remaining;            // replies still to spoil; none: until cleared
  std::optional<std::uint8_t> usbCommand;  // only the replies to this USB command; none: all
};

struct ArmState {
  std::vector<JointState> joints;
  // buttons[b - 1][0] is button b pressed on board 1, [1] on board 3.
  std::array<std::array<bool, 2>, kButtonCount> buttons{};
  bool auxiliaryRequest = false;
  std::array<double, 3> temperatures{21.0, 21.0, 21.0};  // degrees C, boards 1 to 3
  std::array<std::uint16_t, 3> calibrationWords{1000, 1000, 1000};
  SupplyState supply;
  FirmwareVersion firmware;
  std::array<char, 4> identifier{};
  bool validReference = true;  // the configure reply says the board still holds its reference
  std::array<std::uint8_t, 4> thresholds{};  // t1 low, t1 high, t2 low, t2 high
  bool plugged = true;
  FaultPlan faults;
  Observations observations;
};

}  // namespace pilvo::sim
