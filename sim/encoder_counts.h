// The boards' encoder counters, computed from the joint angles by the arm's own encoder geometry:
// lines per turn, direction, offset and the second-joint correction.
#pragma once

#include <cstdint>
#include <vector>

#include "data/arm_record.h"
#include "sim/arm_state.h"

namespace pilvo::sim {

// The joints that carry an encoder, in encoder channel order: every joint but joint 2 when the
// arm has an inserted fixed joint.
std::vector<int> EncoderJoints(const ArmRecord& record);

// The counter of a referenced joint at `degrees`: the value that the host turns back into the
// angle with (count + offset) x direction / counts per degree.
std::int32_t ReferencedCount(const ArmRecord& record, int joint, double degrees);

struct ChannelReading {
  std::int32_t count = 0;
  bool marked = false;  // the joint has passed its reference mark
};

// One reading per encoder channel; unreferenced counters carry their power-on shift.
std::vector<ChannelReading> ReadChannels(const ArmRecord& record,
                                         const std::vector<JointState>& joints);

}  // namespace pilvo::sim
