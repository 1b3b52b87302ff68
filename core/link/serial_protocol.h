// The serial board: register lists written, one byte read back per register.
#pragma once

#include "data/arm_record.h"
#include "link/board_protocol.h"

namespace pilvo {

class ArmLink;

class SerialProtocol final : public BoardProtocol {
 public:
  SerialProtocol(ArmLink& link, const ArmRecord& record);

  // The register list of the encoder read, for the live (0) or latched (12) registers.
  void BuildRequest(std::uint8_t offset);
  const SerialRequest& request() const { return request_; }
  // W of the wrap-around joints.
  void SetWrapWindow(std::int32_t window) { wrapWindow_ = window; }
  std::int32_t wrapWindow() const { return wrapWindow_; }
  // The presence probe of the initialisation, on an open link.
  int ProbePresence();

  int ReadCounts(CountList& counts, StatusPair& status) override;
  int QueryArmIdentity(ArmIdentity& identity) override;
  int ReadTemperatureCalibration(CalibrationWords& words) override;
  int ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) override;
  int WriteBatteryThresholds() override;
  int ConfigureBoards() override;
  int ConfigureForInitialisation(bool& validReference) override;
  void SetProbeMode(int) override {}
  void ReleaseArm() override {}
  int AcknowledgeInput(int input) override;
  void AcknowledgeScannerPress() override;
  int RawExchange(std::span<std::uint8_t> buffer) override;
  int ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked) override;
  void ConfirmReferenceMarks() override {}

 private:
  // Writes a register list and reads one byte back per register: true when all came. The
  // write's own result is not looked at.
  bool Exchange(std::span<const std::uint8_t> registers, std::span<std::uint8_t> reply);

  ArmLink& link_;
  const ArmRecord& record_;
  SerialRequest request_;
  std::array<std::uint8_t, kMaxSerialRequest> reply_{};
  std::int32_t wrapWindow_ = 0;
};

}  // namespace pilvo
