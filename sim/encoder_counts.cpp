#include "sim/encoder_counts.h"

#include <algorithm>
#include <cmath>

namespace pilvo::sim {
namespace {

// Far beyond any counter, yet exact in a double and safe to round to 64 bits.
constexpr double kCountLimit = 1e15;

// Counters are 32-bit registers: they wrap.
std::int32_t Wrap(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

std::vector<int> EncoderJoints(const ArmRecord& record) {
  std::vector<int> joints;
  const int count = std::clamp(record.jointCount, 0, kMaxJoints);
  for (int joint = 0; joint < count; ++joint) {
    if (!(record.options.insertedAxis && joint == 2)) joints.push_back(joint);
  }
  return joints;
}

std::int32_t ReferencedCount(const ArmRecord& record, int joint, double degrees) {
  const double lines = record.encoderLines[joint];
  double value = degrees * lines * 4.0 / 360.0;
  if (joint == 1 && record.options.secondJointCorrection && lines != 0.0) {
    // The host adds (lines + c) x k / lines to the joint value c; solve for c.
    const double k = record.secondJointCorrectionCount;
    value = (value - k) / (1.0 + k / lines);
  }
  if (!std::isfinite(value)) value = 0.0;
  const std::int64_t jointValue = std::llround(std::clamp(value, -kCountLimit, kCountLimit));
  const std::int64_t direction = record.jointReversed[joint] ? -1 : 1;
  return Wrap(jointValue * direction - record.encoderOffsets[joint]);
}

std::vector<ChannelReading> ReadChannels(const ArmRecord& record,
                                         const std::vector<JointState>& joints) {
  std::vector<ChannelReading> channels;
  for (const int joint : EncoderJoints(record)) {
    const JointState& state = joints[joint];
    const std::int64_t referenced = ReferencedCount(record, joint, state.angle);
    const std::int64_t shift = state.referenced ? 0 : state.powerOnShift;
    channels.push_back(ChannelReading{Wrap(referenced + shift), state.referenced});
  }
  return channels;
}

}  // namespace pilvo::sim
