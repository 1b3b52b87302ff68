#include "sim/usb_commands.h"

#include <algorithm>

#include "sim/count_block.h"

namespace pilvo::sim {
namespace {

enum Command : std::uint8_t {
  kVersion = 0x00,
  kIdentifier = 0x01,
  kReadThresholds = 0x14,
  kWriteThresholds = 0x15,
  kConfigure = 0x32,
  kReferenceMarks = 0x33,
  kReadCounts = 0x34,
  kAcknowledge = 0x35,
  kTemperatureCalibration = 0x41,
  kRelease = 0x50,
};

// The payload byte of the read-counts command that asks for the supply bytes as well.
constexpr std::uint8_t kWithSupply = 0x32;
constexpr int kSupplyFirmwareCode = 15;
constexpr std::uint8_t kHoldsValidReference = 2;

std::vector<std::uint8_t> Answer(const ArmRecord& record, ArmState& state, std::uint8_t code,
                                 std::span<const std::uint8_t> payload) {
  switch (code) {
    case kVersion:
      if (!payload.empty()) break;
      return {code, static_cast<std::uint8_t>(state.firmware.minor),
              static_cast<std::uint8_t>(state.firmware.major)};
    case kIdentifier: {
      if (!payload.empty()) break;
      std::vector<std::uint8_t> reply{code};
      for (const char c : state.identifier) reply.push_back(static_cast<std::uint8_t>(c));
      return reply;
    }
    case kReadThresholds:
      if (!payload.empty()) break;
      return {code, state.thresholds[0], state.thresholds[1], state.thresholds[2],
              state.thresholds[3]};
    case kWriteThresholds:
      if (payload.size() != state.thresholds.size()) break;
      std::copy(payload.begin(), payload.end(), state.thresholds.begin());
      return {code, 0};
    case kConfigure:
      if (payload.size() != 3) break;
      state.observations.configuration = {payload[0], payload[1], payload[2]};
      return {code, state.validReference ? kHoldsValidReference : std::uint8_t{0}, 0, 0, 0, 0};
    case kReferenceMarks:
      if (payload.size() != 1 || payload[0] > 2) break;
      if (payload[0] != 0) state.observations.probeModeByte = payload[0];
      return BuildCountBlock(record, state, code, false);
    case kReadCounts:
      if (payload.empty()) return BuildCountBlock(record, state, code, false);
      if (payload.size() != 1 || payload[0] != kWithSupply) break;
      return BuildCountBlock(record, state, code, state.firmware.code() >= kSupplyFirmwareCode);
    case kAcknowledge:
      if (payload.size() != 1) break;
      state.auxiliaryRequest = false;
      state.observations.acknowledgedInputs.push_back(payload[0]);
      return {code, 0};
    case kTemperatureCalibration: {
      if (!payload.empty()) break;
      std::vector<std::uint8_t> reply{code};
      for (const std::uint16_t word : state.calibrationWords) {
        reply.push_back(static_cast<std::uint8_t>(word));
        reply.push_back(static_cast<std::uint8_t>(word >> 8));
      }
      return reply;
    }
    case kRelease:
      if (!payload.empty()) break;
      ++state.observations.releaseCount;
      return {code, 0};
    default:
      break;
  }
  return {};
}

}  // namespace

std::vector<std::uint8_t> AnswerUsbCommand(const ArmRecord& record, ArmState& state,
                                           std::span<const std::uint8_t> request) {
  if (request.size() < 2 || request[1] != request.size()) return {};
  return Answer(record, state, request[0], request.subspan(2));
}

}  // namespace pilvo::sim
