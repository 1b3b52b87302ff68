// The USB count block: the reply of the read-counts command and of the reference-mark query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/arm_record.h"
#include "sim/arm_state.h"

namespace pilvo::sim {

inline constexpr std::size_t kCountBlockSize = 48;
inline constexpr std::size_t kCountBlockWithSupplySize = 50;

// Where each encoder channel sits in the block, in channel order: board 1 without its moved
// axis, board 2 axes 2, 3 and 1, board 3, and the moved axis of board 1 last.
std::vector<std::size_t> UsbAxisOffsets(const ArmRecord& record);

// The sensor reading of a board thermometer at `celsius`, with the board's calibration word.
std::uint16_t RawTemperature(double celsius, std::uint16_t calibrationWord);

// The block with `echo` in byte 0; with the two supply bytes when `withSupply`.
std::vector<std::uint8_t> BuildCountBlock(const ArmRecord& record, const ArmState& state,
                                          std::uint8_t echo, bool withSupply);

}  // namespace pilvo::sim
