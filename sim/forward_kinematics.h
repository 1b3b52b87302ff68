// The virtual arm's own forward kinematics: joint angles to the probe pose, from the transform
// definitions of the two chains, so that the driver's pose can be checked against it.
#pragma once

#include <array>
#include <optional>
#include <span>

#include <Eigen/Core>

#include "data/arm_record.h"

namespace pilvo::sim {

// Where the arm's rotating table was aligned.
struct TableAlignment {
  Eigen::Matrix4d armToTable = Eigen::Matrix4d::Identity();
  double referenceAngle = 0.0;  // radians: the table's zero
};

// A workpiece frame: points p become axes * p - offset.
struct UserFrame {
  Eigen::Matrix3d axes = Eigen::Matrix3d::Identity();  // rows: the frame's X, Y, Z
  Eigen::Vector3d offset = Eigen::Vector3d::Zero();    // axes * origin, mm
};

struct ArmSurroundings {
  std::array<double, 3> temperatures{21.0, 21.0, 21.0};  // degrees C
  std::array<double, 3> referenceTemperatures{21.0, 21.0, 21.0};
  std::optional<TableAlignment> table;
  std::optional<UserFrame> userFrame;
};

// The probe pose of `arm` with its joints at `jointDegrees` (the kinematic joint values, one
// per joint; missing ones are 0). The segment lengths expand with the temperature when the arm
// has temperature compensation.
Eigen::Matrix4d ProbePose(const ArmRecord& arm, std::span<const double> jointDegrees,
                          const ArmSurroundings& surroundings = {});

}  // namespace pilvo::sim
