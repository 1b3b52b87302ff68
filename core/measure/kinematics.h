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

// What a parameter set fixes for every reading: the sines and cosines of the twists and of the
// angles that no joint turns, and the fixed rotations of the six-parameter chain. Readings with
// these parameters then work out only the joint angles. Plain data: a session keeps it with its
// working record and builds a new one when ModelFits says the record has changed.
struct KinematicModel {
  struct DhTransform {
    double cosAlpha = 1.0;
    double sinAlpha = 0.0;
    double cosTheta = 1.0;  // of theta0, used when the transform has no joint angle
    double sinTheta = 0.0;
  };
  struct SixTransform {
    // qx(rho2) (x) qy(rho1), to be turned by the joint about z; for a transform without a joint
    // angle, the whole joint quaternion.
    Quaternion rotation{1.0, 0.0, 0.0, 0.0};
  };

  // What it was built from.
  std::array<float, kMaxParameters> parameters{};
  std::int32_t jointCount = -1;  // -1: built from nothing, fits no record
  std::int32_t modelType = 0;
  bool tableChannel = false;

  std::array<DhTransform, kMaxJoints + 1> dh{};
  std::array<SixTransform, kMaxJoints + 1> six{};
};

// The model of `parameters` laid out as `record` says: its joint count, model type and table
// channel option.
KinematicModel BuildKinematicModel(const std::array<float, kMaxParameters>& parameters,
                                   const ArmRecord& record);

// True when `model` was built from exactly these parameters, bit for bit, and this layout.
bool ModelFits(const KinematicModel& model, const std::array<float, kMaxParameters>& parameters,
               const ArmRecord& record);

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

// The same with the model built beforehand: `model` must fit `workingParameters` as they are
// passed in and `record` (ModelFits). The compensation leaves the angles alone, so the model of
// the record's own parameters fits every fresh copy of them.
int ComputeProbeTransform(
    const KinematicModel& model, std::array<float, kMaxParameters>& workingParameters,
    const ArmRecord& record, const std::array<double, kMaxJoints>& countsPerDegree,
    const std::array<double, kMaxJoints>& jointCounts, std::int32_t secondJointCorrection,
    const std::array<double, 3>& temperatures, const std::array<double, 3>& referenceTemperatures,
    const FrameState& frames, MotionTracker& tracker, Pose& out);

}  // namespace pilvo
