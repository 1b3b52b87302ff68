// The demo arms that the benchmarks measure, and postures to move them through.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "data/arm_record.h"

namespace pilvo::bench {

std::filesystem::path DemoArmPath(const std::string& name);

// The main record of a demo arm's TAB file; false when the file is missing or refused.
bool LoadDemoArm(const std::string& name, ArmRecord& arm);

// Joint counts relative to the reset, as the board read gives them, of `count` postures
// travelling through the arm's workspace within its joint limits.
std::vector<std::array<double, kMaxJoints>> SweepCounts(const ArmRecord& arm, int count);

}  // namespace pilvo::bench
