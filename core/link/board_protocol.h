// One link type's side of the board exchanges, spoken over the link's transport. Every failed
// exchange closes the link (ChiudePorta) so that the next one reopens it. ArmBoard documents the
// result codes and picks the protocol of the working record's link type for each call.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link/count_decoding.h"
#include "link/reply_decoding.h"

namespace pilvo {

// Two bytes of a request or a reply.
using Bytes2 = std::array<std::uint8_t, 2>;

class BoardProtocol {
 public:
  virtual ~BoardProtocol() = default;

  // The encoder read on an open link: the counts in list order and the status byte pair.
  virtual int ReadCounts(CountList& counts, StatusPair& status) = 0;

  // The commands of the USB boards; the serial protocol sends nothing and answers as ArmBoard
  // documents.
  virtual int QueryArmIdentity(ArmIdentity& identity) = 0;
  virtual int ReadTemperatureCalibration(CalibrationWords& words) = 0;
  virtual int ReadBatteryThresholds(std::array<std::uint8_t, 5>& bytes) = 0;
  virtual int WriteBatteryThresholds() = 0;
  virtual int ConfigureBoards() = 0;
  virtual int ConfigureForInitialisation(bool& validReference) = 0;
  virtual void SetProbeMode(int setting) = 0;
  virtual void ReleaseArm() = 0;

  virtual int AcknowledgeInput(int input) = 0;
  // After a press of the scanner input: only the serial board wants it acknowledged.
  virtual void AcknowledgeScannerPress() = 0;
  // On an open link.
  virtual int RawExchange(std::span<std::uint8_t> buffer) = 0;
  // On an open link: bit i set when axis i of the count list has passed its reference mark.
  virtual int ReadReferenceMarks(bool thirdAxisCompanion, std::uint32_t& marked) = 0;
  // Every required axis is marked: only the USB board is told.
  virtual void ConfirmReferenceMarks() = 0;
};

}  // namespace pilvo
