// The cost of the kinematic model per reading, for both chains: every reading of the arm runs it.
#include <benchmark/benchmark.h>

#include <string>

#include "data/tab_file.h"
#include "measure/kinematics.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

void BM_ComputeProbeTransform(benchmark::State& state, const std::string& arm) {
  const auto bytes = ReadWholeFile(PILVO_DEMO_DIR "/" + arm + ".tab");
  TabContents contents;
  if (!bytes || ParseTabFile(*bytes, contents) != TabError::None) {
    state.SkipWithError("demo arm missing");
    return;
  }
  const ArmRecord& record = contents.main;
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
    benchmark::DoNotOptimize(ComputeProbeTransform(parameters, record, countsPerDegree, counts,
                                                   record.secondJointCorrectionCount, temperatures,
                                                   reference, frames, tracker, pose));
    benchmark::DoNotOptimize(pose);
  }
}
BENCHMARK_CAPTURE(BM_ComputeProbeTransform, six_parameter, std::string("usb6_quaternion"));
BENCHMARK_CAPTURE(BM_ComputeProbeTransform, denavit_hartenberg, std::string("serial6_dh_marks"));

}  // namespace
}  // namespace pilvo
