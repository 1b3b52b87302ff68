// The arm's kinematic model: one set of joint encoder counts to the pose of the probe, in the
// base frame or, when they are active, in the rotating-table frame and the user frame.
//
// Two chains, chosen by the record's model type: a Denavit-Hartenberg chain (4 parameters per
// transform: d, a, alpha, theta0) and a six-parameter chain (rho0, rho1, rho2 in degrees, then
// tx, ty, tz) built with quaternions. Both share the encoder scaling, the second-joint
// correction, the thermal compensation of three segment lengths and the frame transforms.
#pragma once

#include <array>
#include <cstdint>

#include "data/arm_record.h"
#include "measure/frame_state.h"
#include "measure/motion_tracker.h"
#include "measure/transforms.h"

namespace pilvo {

// Encoder counts per degree of every joint: lines x 4 / 360.
std::array<double, kMaxJoints> CountsPerDegree(const ArmRecord& record);

// Indices in the kinematic parameters of the three segment lengths that the thermal
// compensation scales, in the order of their expansion coefficients' use.
std::array<int, 3> SegmentLengthIndices(const ArmRecord& record);

// Computes the probe pose of one reading into `out` and returns 0.
//
// workingParameters: the kinematic parameters of the probe in use. With the temperature
//   compensation option the three segment lengths are scaled in place, so the caller passes a
//   fresh copy on every call (record.parameters are not read).
// record: joint count, model type, encoder lines, options, expansion coefficients.
// countsPerDegree: CountsPerDegree(record). jointCounts: per channel, relative to the reset.
// secondJointCorrection: the count k of the second-joint correction option.
// temperatures, referenceTemperatures: degrees C; T0 is not used.
// tracker: fed with the pose by a six-parameter chain with the motion direction option.
//
// Allocates nothing.
int ComputeProbeTransform(std::array<float, kMaxParameters>& workingParameters,
                          const ArmRecord& record,
                          const std::array<double, kMaxJoints>& countsPerDegree,
                          const std::array<double, kMaxJoints>& jointCounts,
                          std::int32_t secondJointCorrection,
                          const std::array<double, 3>& temperatures,
                          const std::array<double, 3>& referenceTemperatures,
                          const FrameState& frames, MotionTracker& tracker, Pose& out);

}  // namespace pilvo
