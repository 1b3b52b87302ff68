// The serial board's register map: counter bytes, status bytes, the reference-mark status and
// the acknowledge register, live and latched.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "data/arm_record.h"
#include "sim/arm_state.h"

namespace pilvo::sim {

// One byte per address, in order. Reading the acknowledge register clears the auxiliary request.
std::vector<std::uint8_t> AnswerSerialRequest(const ArmRecord& record, ArmState& state,
                                              std::span<const std::uint8_t> registers);

}  // namespace pilvo::sim
