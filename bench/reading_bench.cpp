// The position reading without the board read, for every demo arm: the joint counts of a moving
// arm to the pose, in the user frame (and the table frame on the rotating-table arm), the joint
// limits and the status word. No button is pressed, so no point is pushed: such a reading
// allocates nothing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "allocation_counter.h"
#include "demo_arms.h"
#include "dialogs/scripted_operator.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

constexpr int kPostures = 256;

// A workpiece frame turned 30 degrees about z, its origin away from the arm's base.
void SetUserFrame(FrameState& frames) {
  const double c = std::cos(30.0 * kDegreesToRadians);
  const double s = std::sin(30.0 * kDegreesToRadians);
  frames.frameActive = true;
  frames.frameRotation = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  frames.frameOffset = {250.0, -120.0, 40.0};
}

// A table aligned a quarter turn from the arm's axes, its centre 400 mm out.
void AlignTable(FrameState& frames) {
  frames.tableAligned = true;
  frames.tableReferenceAngle = 0.35;
  frames.tableMatrix = {0.0, -1.0, 0.0, 400.0, 1.0, 0.0, 0.0, -150.0,
                        0.0, 0.0,  1.0, -80.0, 0.0, 0.0, 0.0, 1.0};
}

void BM_Reading(benchmark::State& state, const std::string& arm) {
  ScriptedOperator ui;
  const ProductContext context = ContextFromEnvironment(Program::Library);
  ArmSession session(context, ui.ports());
  if (session.LeggeParametri(bench::DemoArmPath(arm)) != 0) {
    state.SkipWithError("demo arm missing");
    return;
  }
  ArmSessionState& s = session.state();
  s.armReady = true;            // the joint limits are checked
  s.tracker.clientSession = 1;  // a client follows the probe: the tracker runs
  SetUserFrame(s.frames);
  if (s.working.options.tableChannel) AlignTable(s.frames);

  const auto postures = bench::SweepCounts(s.working, kPostures);
  const StatusPair released;  // every button up
  Pose pose{};
  std::int32_t status = 0;
  for (const auto& counts : postures) {
    if (session.CompleteReading(counts, released, pose, status) != 0 || status != 0) {
      state.SkipWithError("a reading of the sweep is not a plain reading");
      return;
    }
  }

  const std::uint64_t allocationsBefore = bench::AllocationsOnThisThread();
  std::size_t next = 0;
  for (auto _ : state) {
    session.CompleteReading(postures[next], released, pose, status);
    benchmark::DoNotOptimize(pose);
    benchmark::DoNotOptimize(status);
    if (++next == postures.size()) next = 0;
  }
  state.counters["allocations_per_reading"] =
      benchmark::Counter(static_cast<double>(bench::AllocationsOnThisThread() - allocationsBefore),
                         benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_Reading, usb6_quaternion, std::string("usb6_quaternion"));
BENCHMARK_CAPTURE(BM_Reading, serial6_dh_marks, std::string("serial6_dh_marks"));
BENCHMARK_CAPTURE(BM_Reading, five_joint, std::string("five_joint"));
BENCHMARK_CAPTURE(BM_Reading, rotating_table, std::string("rotating_table"));

}  // namespace
}  // namespace pilvo
