// The 3-D arm view's scene: the solids that make up the stylised arm, each placed in the eye's
// frame, built without any graphics library so that the geometry can be checked on its own. The
// view only draws the list.
#pragma once

#include <array>
#include <vector>

#include "dialogs/arm_view_pose.h"

namespace pilvo {

inline constexpr int kSceneSlices = 20;

// Column-major, as OpenGL takes it.
using SceneTransform = std::array<double, 16>;

enum class SceneShape {
  Box,       // size: width (x), height (y), depth (z); centred at the origin
  Cylinder,  // along y, centred at the origin; size: bottom diameter, top diameter, height
};

enum class SceneMaterial { Normal, Warning, Floor };

struct ScenePrimitive {
  SceneShape shape = SceneShape::Box;
  std::array<double, 3> size{};
  int slices = 0;  // cylinders only; a top diameter below 0.01 makes a cone
  SceneTransform transform{};
  int joint = -1;  // the joint (0 = joint 1) that carries the solid; -1 for the floor and base
  SceneMaterial material = SceneMaterial::Normal;
};

// From the floor (standard geometry only) and the base up to the stylus's tip.
std::vector<ScenePrimitive> BuildArmScene(const ArmViewPose& pose);

}  // namespace pilvo
