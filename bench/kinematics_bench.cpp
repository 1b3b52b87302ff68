// The cost of the kinematic model per reading, for both chains, with the model of the parameters
// built beforehand as a session keeps it.
#include <benchmark/benchmark.h>

#include <string>

#include "demo_arms.h"
#include "measure/kinematics.h"

namespace pilvo {
namespace {

void BM_ComputeProbeTransform(benchmark::State& state, const std::string& arm) {
  ArmRecord record;
  if (!bench::LoadDemoArm(arm, record)) {
    state.SkipWithError("demo arm missing");
    return;
  }
  const KinematicModel model = BuildKinematicModel(record.parameters, record);
  const auto countsPerDegree = CountsPerDegree(record);
  const auto reference = UnpackReferenceTemperatures(record.referenceTemperaturesPacked);
  const std::array<double, 3> temperatures{22.5, 23.0, 23.5};
  std::array<double, kMaxJoints> counts{};
  FrameState frames;
  frames.frameActive = true;
  MotionTracker tracker;
  tracker.clientSession = 1;
  Pose pose{};
  double step = 0.0;
  for (auto _ : state) {
    // Every reading moves each joint, as a moving arm does.
    step += 1.0;
    for (int joint = 0; joint < record.jointCount; ++joint) counts[joint] = step * (joint + 1);
    std::array<float, kMaxParameters> parameters = record.parameters;
    benchmark::DoNotOptimize(ComputeProbeTransform(model, parameters, record, countsPerDegree,
                                                   counts, record.secondJointCorrectionCount,
                                                   temperatures, reference, frames, tracker, pose));
    benchmark::DoNotOptimize(pose);
  }
}
BENCHMARK_CAPTURE(BM_ComputeProbeTransform, six_parameter, std::string("usb6_quaternion"));
BENCHMARK_CAPTURE(BM_ComputeProbeTransform, denavit_hartenberg, std::string("serial6_dh_marks"));

}  // namespace
}  // namespace pilvo
