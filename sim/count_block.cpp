#include "sim/count_block.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "sim/encoder_counts.h"

namespace pilvo::sim {
namespace {

constexpr std::size_t kBoard2Axis1 = 23;
constexpr std::size_t kBoard2Axis2 = 26;
constexpr std::size_t kBoard2Axis3 = 29;
constexpr std::size_t kBoard3Axis1 = 36;
constexpr std::size_t kBoard1Status = 19;
constexpr std::size_t kBoard3Status = 45;
constexpr std::array<std::size_t, 3> kTemperatureOffsets{20, 33, 46};
constexpr std::size_t kSupplyOffset = 48;

constexpr std::uint8_t kMarkFlag = 0x80;
constexpr std::uint8_t kAuxiliaryRequestBit = 0x08;

std::size_t Board1AxisOffset(int axis) {
  return 1 + 3 * static_cast<std::size_t>(axis - 1);
}

// A 23-bit two's-complement count with the reference-mark flag in the top bit.
void PutAxis(std::vector<std::uint8_t>& block, std::size_t offset, const ChannelReading& reading) {
  const auto bits = static_cast<std::uint32_t>(reading.count);
  block[offset] = static_cast<std::uint8_t>(bits);
  block[offset + 1] = static_cast<std::uint8_t>(bits >> 8);
  block[offset + 2] =
      static_cast<std::uint8_t>(((bits >> 16) & 0x7F) | (reading.marked ? kMarkFlag : 0));
}

// Active-low: bit b - 1 for button b (1 to 3), bit 3 for the auxiliary request.
std::uint8_t StatusBits(const ArmState& state, std::size_t board) {
  std::uint8_t bits = 0xFF;
  for (std::size_t button = 0; button < 3; ++button) {
    if (state.buttons[button][board]) bits &= static_cast<std::uint8_t>(~(1u << button));
  }
  if (state.auxiliaryRequest) bits &= static_cast<std::uint8_t>(~kAuxiliaryRequestBit);
  return bits;
}

}  // namespace

std::vector<std::size_t> UsbAxisOffsets(const ArmRecord& record) {
  const int board1 = std::clamp(record.board1Axes, 0, 6);
  const int board2 = std::clamp(record.board2Axes, 0, 3);
  const int board3 = std::clamp(record.board3Axes, 0, 3);
  const bool moved = (record.options.tableChannel || record.options.movedAxis) && board1 > 0;
  std::vector<std::size_t> offsets;
  for (int axis = 1; axis <= board1 - (moved ? 1 : 0); ++axis) {
    offsets.push_back(Board1AxisOffset(axis));
  }
  if (board2 >= 2) offsets.push_back(kBoard2Axis2);
  if (board2 >= 3) offsets.push_back(kBoard2Axis3);
  if (board2 >= 1) offsets.push_back(kBoard2Axis1);
  for (int axis = 0; axis < board3; ++axis) {
    offsets.push_back(kBoard3Axis1 + 3 * static_cast<std::size_t>(axis));
  }
  if (moved) offsets.push_back(Board1AxisOffset(board1));
  return offsets;
}

std::uint16_t RawTemperature(double celsius, std::uint16_t calibrationWord) {
  const double gain = (9.615 - calibrationWord * 0.0067) / 1024.0;
  if (gain <= 0.0) return 0;
  return static_cast<std::uint16_t>(
      std::clamp(std::round((celsius + 60.0) / (gain * 25.0)), 0.0, 65535.0));
}

std::vector<std::uint8_t> BuildCountBlock(const ArmRecord& record, const ArmState& state,
                                          std::uint8_t echo, bool withSupply) {
  std::vector<std::uint8_t> block(withSupply ? kCountBlockWithSupplySize : kCountBlockSize, 0);
  block[0] = echo;
  const std::vector<ChannelReading> channels = ReadChannels(record, state.joints);
  const std::vector<std::size_t> offsets = UsbAxisOffsets(record);
  for (std::size_t k = 0; k < std::min(channels.size(), offsets.size()); ++k) {
    PutAxis(block, offsets[k], channels[k]);
  }
  block[kBoard1Status] = StatusBits(state, 0);
  block[kBoard3Status] = StatusBits(state, 1);
  for (std::size_t board = 0; board < 3; ++board) {
    const std::uint16_t raw =
        RawTemperature(state.temperatures[board], state.calibrationWords[board]);
    block[kTemperatureOffsets[board]] = static_cast<std::uint8_t>(raw);
    block[kTemperatureOffsets[board] + 1] = static_cast<std::uint8_t>(raw >> 8);
  }
  if (withSupply) {
    const SupplyState& supply = state.supply;
    block[kSupplyOffset] = static_cast<std::uint8_t>(supply.reading);
    block[kSupplyOffset + 1] =
        static_cast<std::uint8_t>(((supply.reading >> 8) & 0x3F) | (supply.onBattery ? 0 : 0x40) |
                                  (supply.monitored ? 0x80 : 0));
  }
  return block;
}

}  // namespace pilvo::sim
