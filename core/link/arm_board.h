// The arm's controller boards: the commands of both links, the encoder read, and what the last
// read left behind (status bits, temperatures, supply).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "data/arm_record.h"
#include "link/count_decoding.h"
#include "link/reply_decoding.h"

namespace pilvo {

class ArmLink;

// Result codes of the board exchanges.
namespace board {
inline constexpr int kOk = 0;
inline constexpr int kLinkClosed = -1;
inline constexpr int kShortSerialReply = -2;
inline constexpr int kShortMarkReply = -3;
inline constexpr int kNeedsUsb = -10;
inline constexpr int kUsbExchangeFailed = -11;
inline constexpr int kUsbBadReply = -12;
}  // namespace board

// What turns a count into a joint value: the encoder offset copy and the directions.
struct JointTables {
  std::array<std::int32_t, kMaxJoints> offsets{};
  std::array<std::int32_t, kMaxJoints> directions{1, 1, 1, 1, 1, 1, 1, 1};
};
JointTables DeriveJointTables(const ArmRecord& record);

class ArmBoard {
 public:
  // `record` is the working arm record; ConfigureBoards clears its auxiliary-input options.
  ArmBoard(ArmLink& link, ArmRecord& record, const JointTables& tables);

  // The encoder read: counts in list order and the joint values. 0, -1, -2, -11, -12.
  int ReadArmCounts(CountList& counts);
  const std::array<double, kMaxJoints>& jointValues() const { return jointValues_; }
  bool countsFresh() const { return countsFresh_; }

  int BuildSerialRequest(std::uint8_t offset);
  const SerialRequest& serialRequest() const { return serialRequest_; }

  int QueryArmIdentity(ArmIdentity& identity);
  int ReadTemperatureCalibration(CalibrationWords& words);
  int ComputeTemperatures(std::array<double, 3>& temperatures) const;
  // The temperatures a reading compensates with: each channel for which the last USB read and
  // the calibration give a temperature takes it; the others keep what the caller put there.
  void TakeReportedTemperatures(std::array<double, 3>& temperatures) const;
  int ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes);
  int WriteBatteryThresholds();
  int ConfigureBoards();
  // No caller uses the outcome: the reply is not checked, and a bad one leaves the link open.
  void SetProbeMode(int setting);
  int AcknowledgeInput(int input);
  // Not checked, like the probe mode.
  void ReleaseArm();
  std::string SupplyStateText() const;
  int RawExchange(std::span<std::uint8_t> buffer);

  // Exchanges of the initialisation.
  int ProbeSerialPresence();
  // The configure command of the initialisation, then the temperature calibration. -1 when the
  // configure exchange fails; validReference tells whether the board kept its reference. A
  // failed calibration leaves the gains and the link as they were.
  int ConfigureForInitialisation(bool& validReference);

  // Reference marks. Serial: switches the encoder read to the latched registers and reads
  // the mark status byte (bits 2 … 7 clear: axes 1 … 6 marked). USB: the mark flags of the
  // axes in count-list order; ConfirmReferenceMarks tells the board all required axes are in.
  int ReadSerialMarkStatus(std::uint8_t& markStatus);
  int ReadUsbMarks(bool thirdAxisCompanion, std::array<bool, kMaxJoints>& marked,
                   std::size_t& axes);
  void ConfirmReferenceMarks();

  int firmwareCode() const { return firmwareCode_; }
  void SetFirmwareCode(int code) { firmwareCode_ = code; }
  void SetWrapWindow(std::int32_t window) { wrapWindow_ = window; }
  std::int32_t wrapWindow() const { return wrapWindow_; }
  const StatusPair& status() const { return status_; }
  const std::array<double, 3>& temperatures() const { return temperatures_; }
  const std::array<double, 3>& temperatureGains() const { return gains_; }
  double supplyReading() const { return supply_.reading; }
  bool supplyMonitor() const { return supply_.monitor; }
  bool onBattery() const { return supply_.onBattery; }

 private:
  int ReadSerialCounts(CountList& counts);
  int ReadUsbCounts(CountList& counts);
  // One USB command: its reply must have exactly `replyLength` bytes and echo the command.
  // UsbExchange closes the link when it does not; UsbQuery leaves that to its caller.
  int UsbExchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply);
  int UsbQuery(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply);
  int QueryTemperatureCalibration(CalibrationWords& words);
  bool UsbReady();
  void FinishRead(CountList& counts);

  ArmLink& link_;
  ArmRecord& record_;
  const JointTables& tables_;

  int firmwareCode_ = 0;
  SerialRequest serialRequest_;
  std::array<std::uint8_t, kMaxSerialRequest> serialReply_{};
  StatusPair status_;
  RawTemperatures rawTemperatures_{};
  TemperatureGains gains_{};
  std::array<double, 3> temperatures_{};
  SupplyStatus supply_;
  std::int32_t wrapWindow_ = 0;
  bool countsFresh_ = false;
  std::array<double, kMaxJoints> jointValues_{};
};

}  // namespace pilvo
