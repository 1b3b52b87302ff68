// The USB board's command table: one request packet in, its reply out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "data/arm_record.h"
#include "sim/arm_state.h"

namespace pilvo::sim {

// The reply, or nothing (silence) for an unknown command, a length byte that differs from the
// packet's length, or a payload of the wrong size.
std::vector<std::uint8_t> AnswerUsbCommand(const ArmRecord& record, ArmState& state,
                                           std::span<const std::uint8_t> request);

}  // namespace pilvo::sim
