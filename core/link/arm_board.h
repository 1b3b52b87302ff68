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
#include "link/serial_protocol.h"
#include "link/usb_protocol.h"

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
  // Set by every successful encoder read; the tray's timer clears it to see the next one.
  bool countsFresh() const { return countsFresh_; }
  void ClearCountsFresh() { countsFresh_ = false; }

  int BuildSerialRequest(std::uint8_t offset);
  const SerialRequest& serialRequest() const { return serial_.request(); }

  // The commands of the USB boards. On a serial link nothing is sent: the queries answer -1,
  // WriteBatteryThresholds and ConfigureBoards -10, SetProbeMode and ReleaseArm do nothing.
  int QueryArmIdentity(ArmIdentity& identity);
  int ReadTemperatureCalibration(CalibrationWords& words);
  int ComputeTemperatures(std::array<double, 3>& temperatures) const;
  // The temperatures a reading compensates with: each channel for which the last USB read and
  // the calibration give a temperature takes it; the others keep what the caller put there.
  void TakeReportedTemperatures(std::array<double, 3>& temperatures) const;
  int ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes);
  int WriteBatteryThresholds();
  int ConfigureBoards();
  void SetProbeMode(int setting);
  int AcknowledgeInput(int input);
  // After a press of the scanner input (auxiliary input 1 or 2): the serial board is told.
  void AcknowledgeScannerPress();
  void ReleaseArm();
  std::string SupplyStateText() const;
  int RawExchange(std::span<std::uint8_t> buffer);

  // Exchanges of the initialisation.
  int ProbeSerialPresence();
  // The configure command of the initialisation, then the temperature calibration. -1 when the
  // configure exchange fails; validReference tells whether the board kept its reference.
  int ConfigureForInitialisation(bool& validReference);

  // Reference marks: bit i of `marked` set when axis i of the count list has passed its mark.
  // Serial: switches the encoder read to the latched registers. USB: `thirdAxisCompanion`, that
  // of the probe in use, decides whether board 3's third axis is read; ConfirmReferenceMarks
  // tells the board all required axes are in (serial: nothing).
  int ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked);
  void ConfirmReferenceMarks();

  int firmwareCode() const { return usb_.firmwareCode(); }
  void SetFirmwareCode(int code) { usb_.SetFirmwareCode(code); }
  void SetWrapWindow(std::int32_t window) { serial_.SetWrapWindow(window); }
  std::int32_t wrapWindow() const { return serial_.wrapWindow(); }
  const StatusPair& status() const { return status_; }
  const std::array<double, 3>& temperatures() const { return usb_.temperatures(); }
  const RawTemperatures& rawTemperatures() const { return usb_.rawTemperatures(); }
  const std::array<double, 3>& temperatureGains() const { return usb_.temperatureGains(); }
  double supplyReading() const { return usb_.supply().reading; }
  bool supplyMonitor() const { return usb_.supply().monitor; }
  bool onBattery() const { return usb_.supply().onBattery; }

 private:
  // The protocol of the working record's link type.
  BoardProtocol& protocol();
  void FinishRead(CountList& counts);

  ArmLink& link_;
  ArmRecord& record_;
  const JointTables& tables_;
  SerialProtocol serial_;
  UsbProtocol usb_;

  StatusPair status_;
  bool countsFresh_ = false;
  std::array<double, kMaxJoints> jointValues_{};
};

}  // namespace pilvo
