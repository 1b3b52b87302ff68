// Orocos KDL's forward kinematics alone on the Denavit-Hartenberg chain of the serial demo arm,
// through the postures of its reading benchmark: what our whole reading is measured against.
#include <benchmark/benchmark.h>

#include <cmath>
#include <kdl/chain.hpp>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/frames.hpp>
#include <kdl/jntarray.hpp>

#include "demo_arms.h"
#include "measure/kinematics.h"

namespace pilvo {
namespace {

constexpr int kPostures = 256;

// Segment j turns its joint about z, then the record's fixed transform Rz(theta0) Tz(d) Tx(a)
// Rx(alpha): together the transform Rz(theta0 + q) Tz(d) Tx(a) Rx(alpha). The tool has no joint.
KDL::Chain DhChain(const ArmRecord& arm) {
  KDL::Chain chain;
  for (int j = 0; j <= arm.jointCount; ++j) {
    const float* group = &arm.parameters[4 * j];
    const KDL::Joint joint(j < arm.jointCount ? KDL::Joint::RotZ : KDL::Joint::None);
    chain.addSegment(KDL::Segment(joint, KDL::Frame::DH(group[1], group[2] * kDegreesToRadians,
                                                        group[0], group[3] * kDegreesToRadians)));
  }
  return chain;
}

// Our pose of the same chain, without the arm's second-joint correction that KDL cannot know.
bool SamePoseAsOurs(const ArmRecord& arm, const std::array<double, kMaxJoints>& counts,
                    const KDL::Frame& frame) {
  ArmRecord plain = arm;
  plain.options.secondJointCorrection = false;
  plain.options.temperatureCompensation = false;
  auto parameters = plain.parameters;
  MotionTracker tracker;
  Pose pose{};
  ComputeProbeTransform(parameters, plain, CountsPerDegree(plain), counts, 0, {}, {}, FrameState{},
                        tracker, pose);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (std::fabs(pose[4 * row + column] - frame.M(row, column)) > 1e-9) return false;
    }
    if (std::fabs(pose[4 * row + 3] - frame.p(row)) > 1e-6) return false;
  }
  return true;
}

void BM_KdlForwardKinematics(benchmark::State& state) {
  ArmRecord arm;
  if (!bench::LoadDemoArm("serial6_dh_marks", arm) || arm.modelType != 0) {
    state.SkipWithError("demo arm missing");
    return;
  }
  const KDL::Chain chain = DhChain(arm);
  KDL::ChainFkSolverPos_recursive solver(chain);
  const auto countsPerDegree = CountsPerDegree(arm);
  std::vector<KDL::JntArray> postures;
  for (const auto& counts : bench::SweepCounts(arm, kPostures)) {
    KDL::JntArray q(chain.getNrOfJoints());
    for (unsigned int j = 0; j < q.rows(); ++j) {
      q(j) = counts[j] / countsPerDegree[j] * kDegreesToRadians;
    }
    KDL::Frame frame;
    if (solver.JntToCart(q, frame) < 0 || !SamePoseAsOurs(arm, counts, frame)) {
      state.SkipWithError("KDL's chain is not the arm's");
      return;
    }
    postures.push_back(q);
  }

  KDL::Frame frame;
  std::size_t next = 0;
  for (auto _ : state) {
    solver.JntToCart(postures[next], frame);
    benchmark::DoNotOptimize(frame);
    if (++next == postures.size()) next = 0;
  }
}
BENCHMARK(BM_KdlForwardKinematics);

}  // namespace
}  // namespace pilvo
