#include "dialogs/arm_scene.h"

#include <cmath>
#include <utility>

#include "measure/transforms.h"

namespace pilvo {
namespace {

// The three scene scale values: the two long links, the stylus.
constexpr std::array<double, 3> kSceneScale{3.5, 3.5, 1.0};
constexpr double kLinkDiameter = 0.45;
constexpr double kJointDiameter = 0.6;
constexpr double kCameraDistance = 12.5;
constexpr double kCameraHeight = 3.0;

enum class Axis { X, Y, Z };

// The current placement as the scene is walked from the base up, composed the way a
// fixed-function model-view matrix is: each step acts in the frame left by the steps before it.
class Placement {
 public:
  void Translate(double x, double y, double z) {
    for (int row = 0; row < 4; ++row) {
      m_[12 + row] += m_[row] * x + m_[4 + row] * y + m_[8 + row] * z;
    }
  }

  void Rotate(double degrees, Axis axis) {
    // The two columns the rotation mixes, in the order that makes a positive angle
    // counter-clockwise seen from the axis's tip.
    const auto [a, b] = axis == Axis::X   ? std::pair{1, 2}
                        : axis == Axis::Y ? std::pair{2, 0}
                                          : std::pair{0, 1};
    const double c = std::cos(degrees * kDegreesToRadians);
    const double s = std::sin(degrees * kDegreesToRadians);
    for (int row = 0; row < 4; ++row) {
      const double first = m_[4 * a + row];
      const double second = m_[4 * b + row];
      m_[4 * a + row] = first * c + second * s;
      m_[4 * b + row] = second * c - first * s;
    }
  }

  const SceneTransform& transform() const { return m_; }

 private:
  SceneTransform m_{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

class SceneBuilder {
 public:
  explicit SceneBuilder(const ArmViewPose& pose) : pose_(pose) {}

  Placement& at() { return at_; }

  void Box(double width, double height, double depth, int joint) {
    Add(SceneShape::Box, {width, height, depth}, 0, joint);
  }
  void Cylinder(double bottomDiameter, double topDiameter, double height, int joint) {
    Add(SceneShape::Cylinder, {bottomDiameter, topDiameter, height}, kSceneSlices, joint);
  }
  // A cylinder standing on the current origin, which then moves to its top.
  void Stack(double bottomDiameter, double topDiameter, double height, int joint) {
    at_.Translate(0, height / 2, 0);
    Cylinder(bottomDiameter, topDiameter, height, joint);
    at_.Translate(0, height / 2, 0);
  }
  void Floor() {
    const Placement base = at_;
    at_.Rotate(45, Axis::Y);
    at_.Translate(0, -0.075, 0);
    Add(SceneShape::Box, {3.0, 0.15, 3.0}, 0, -1);
    primitives_.back().material = SceneMaterial::Floor;
    at_ = base;
  }

  std::vector<ScenePrimitive> Take() { return std::move(primitives_); }

 private:
  void Add(SceneShape shape, const std::array<double, 3>& size, int slices, int joint) {
    const bool warning = joint >= 0 && (pose_.unmarkedMask >> joint & 1u) != 0;
    primitives_.push_back({.shape = shape,
                           .size = size,
                           .slices = slices,
                           .transform = at_.transform(),
                           .joint = joint,
                           .material = warning ? SceneMaterial::Warning : SceneMaterial::Normal});
  }

  const ArmViewPose& pose_;
  Placement at_;
  std::vector<ScenePrimitive> primitives_;
};

}  // namespace

std::vector<ScenePrimitive> BuildArmScene(const ArmViewPose& pose) {
  const auto& a = pose.angles;
  SceneBuilder scene(pose);
  Placement& at = scene.at();
  if (pose.variantGeometry) {
    // The variant hangs from its base.
    at.Translate(0, kCameraHeight, -kCameraDistance);
    at.Rotate(180, Axis::X);
  } else {
    at.Translate(0, -kCameraHeight, -kCameraDistance);
    scene.Floor();
  }
  scene.Stack(1.2, 1.2, 0.3, -1);
  scene.Stack(1.0, 1.0, 0.6, -1);
  scene.Stack(1.0, 0.5, 0.6, -1);

  at.Rotate(a[0], Axis::Y);
  scene.Stack(0.5, 0.5, 0.3, 0);
  const Placement shoulder = at;
  at.Rotate(90, Axis::Z);
  scene.Cylinder(kJointDiameter, kJointDiameter, 0.7, 0);
  at = shoulder;

  at.Rotate(a[1] + 90, Axis::X);
  scene.Stack(kLinkDiameter, kLinkDiameter, kSceneScale[0] / 3, 1);
  at.Rotate(a[2], Axis::Y);
  scene.Stack(kLinkDiameter, kLinkDiameter, kSceneScale[0] * 2 / 3, 2);
  scene.Box(0.7, 0.5, 0.5, 2);

  at.Rotate(a[3], Axis::X);
  scene.Stack(kLinkDiameter, kLinkDiameter, kSceneScale[1] / 3, 3);
  at.Rotate(a[4], Axis::Y);
  scene.Stack(kLinkDiameter, 0.35, kSceneScale[1] * 2 / 3, 4);
  scene.Box(0.5, 0.4, 0.4, 4);

  at.Rotate(a[5], Axis::X);
  int stylus = 5;
  if (pose.rotatingProbe) {
    at.Rotate(-a[6], Axis::Z);
    stylus = 6;
  }
  scene.Stack(0.35, 0.2, kSceneScale[2] * 0.6, stylus);
  scene.Stack(0.2, 0.0, kSceneScale[2] * 0.4, stylus);
  return scene.Take();
}

}  // namespace pilvo
