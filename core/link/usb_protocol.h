// The USB board: command packets, each answered by a reply of fixed length that echoes the
// command code.
#pragma once

#include "data/arm_record.h"
#include "link/board_protocol.h"
#include "link/transport.h"

namespace pilvo {

class ArmLink;

// The release command 'P' as the link closes: its reply is read but not looked at.
void SendRelease(ArmTransport& usb);

class UsbProtocol final : public BoardProtocol {
 public:
  // `record` is the working record; ConfigureBoards clears its auxiliary-input options.
  UsbProtocol(ArmLink& link, ArmRecord& record);

  // The board's firmware version times ten: from 15 on the read carries the supply.
  int firmwareCode() const { return firmwareCode_; }
  void SetFirmwareCode(int code) { firmwareCode_ = code; }
  // What the last read said of temperatures and supply.
  int ComputeTemperatures(std::array<double, 3>& temperatures) const;
  const std::array<double, 3>& temperatures() const { return temperatures_; }
  const RawTemperatures& rawTemperatures() const { return rawTemperatures_; }
  // Each channel for which the last read and the calibration give a temperature takes it; the
  // others keep what the caller put there.
  void TakeReportedTemperatures(std::array<double, 3>& temperatures) const;
  const TemperatureGains& temperatureGains() const { return gains_; }
  const SupplyStatus& supply() const { return supply_; }

  int ReadCounts(CountList& counts, StatusPair& status) override;
  int QueryArmIdentity(ArmIdentity& identity) override;
  int ReadTemperatureCalibration(CalibrationWords& words) override;
  int ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) override;
  int WriteBatteryThresholds() override;
  int ConfigureBoards() override;
  int ConfigureForInitialisation(bool& validReference) override;
  // Neither reply is checked, and a bad one leaves the link open: no caller uses the outcome.
  void SetProbeMode(int setting) override;
  void ReleaseArm() override;
  int AcknowledgeInput(int input) override;
  void AcknowledgeScannerPress() override {}
  int RawExchange(std::span<std::uint8_t> buffer) override;
  int ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked) override;
  void ConfirmReferenceMarks() override;

 private:
  // One command: its reply must have exactly the length of `reply` and echo the command.
  // Exchange closes the link when it does not; Query leaves that to its caller.
  int Exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply);
  int Query(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply);
  int QueryTemperatureCalibration(CalibrationWords& words);
  int Configure(std::span<std::uint8_t, 6> reply);

  ArmLink& link_;
  ArmRecord& record_;
  int firmwareCode_ = 0;
  RawTemperatures rawTemperatures_{};
  TemperatureGains gains_{};
  std::array<double, 3> temperatures_{};
  SupplyStatus supply_;
};

}  // namespace pilvo
