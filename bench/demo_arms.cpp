#include "demo_arms.h"

#include <cmath>

#include "data/tab_file.h"
#include "measure/kinematics.h"
#include "platform/atomic_file.h"
#include "sim/motions.h"

namespace pilvo::bench {

std::filesystem::path DemoArmPath(const std::string& name) {
  return std::filesystem::path(PILVO_DEMO_DIR) / (name + ".tab");
}

bool LoadDemoArm(const std::string& name, ArmRecord& arm) {
  const auto bytes = ReadWholeFile(DemoArmPath(name));
  TabContents contents;
  if (!bytes || ParseTabFile(*bytes, contents) != TabError::None) return false;
  arm = contents.main;
  return true;
}

std::vector<std::array<double, kMaxJoints>> SweepCounts(const ArmRecord& arm, int count) {
  const auto countsPerDegree = CountsPerDegree(arm);
  std::vector<std::array<double, kMaxJoints>> postures;
  for (const sim::MotionStep& step : sim::WorkspaceSweep(arm, 1, count)) {
    std::array<double, kMaxJoints> counts{};
    for (std::size_t joint = 0; joint < step.degrees.size() && joint < counts.size(); ++joint) {
      counts[joint] = std::round(step.degrees[joint] * countsPerDegree[joint]);
    }
    postures.push_back(counts);
  }
  return postures;
}

}  // namespace pilvo::bench
