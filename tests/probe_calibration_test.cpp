// Probe calibration on synthetic touches of a sphere: poses of demo arms in random postures,
// computed by the kinematic model, moved so that the true tip lies on the sphere.
#include <gtest/gtest.h>

#include <regex.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "demo_arm.h"
#include "measure/kinematics.h"
#include "probes/probe_calibration.h"
#include "probes/sphere_fit.h"

namespace pilvo {
namespace {

using testing::DemoArm;

using Vector3 = std::array<double, 3>;

constexpr Vector3 kSphereCentre{400.0, -150.0, 250.0};
constexpr double kProbeDiameter = 4.0;
constexpr double kSphereDiameter = 25.0;

Pose ArmPose(const ArmRecord& arm, const std::array<double, kMaxJoints>& counts) {
  std::array<float, kMaxParameters> parameters = arm.parameters;  // scaled in place
  const std::array<double, 3> temperatures{20.0, 20.0, 20.0};
  MotionTracker tracker;
  Pose pose{};
  ComputeProbeTransform(parameters, arm, CountsPerDegree(arm), counts, 0, temperatures,
                        temperatures, FrameState{}, tracker, pose);
  return pose;
}

// The groups of `text` when the extended regular expression `pattern` matches it (the C
// library's: GCC warns falsely inside std::regex under the sanitizers).
std::optional<std::vector<std::string>> Groups(const std::string& text, const char* pattern) {
  regex_t compiled;
  if (regcomp(&compiled, pattern, REG_EXTENDED) != 0) return std::nullopt;
  std::array<regmatch_t, 4> match{};
  const bool matched = regexec(&compiled, text.c_str(), match.size(), match.data(), 0) == 0;
  regfree(&compiled);
  if (!matched) return std::nullopt;
  std::vector<std::string> groups;
  for (const regmatch_t& group : match) {
    if (group.rm_so >= 0) groups.emplace_back(text, group.rm_so, group.rm_eo - group.rm_so);
  }
  return groups;
}

std::size_t ToolIndex(const ArmRecord& arm) {
  return static_cast<std::size_t>(
      6 * (arm.options.tableChannel ? arm.jointCount - 1 : arm.jointCount) + 3);
}

// A seeded random point of the sphere about `centre` of `radius`.
Vector3 OnSphere(const Vector3& centre, double radius, std::mt19937& random) {
  std::normal_distribution<double> normal(0.0, 1.0);
  Vector3 u{normal(random), normal(random), normal(random)};
  const double length = std::hypot(u[0], u[1], u[2]);
  for (int axis = 0; axis < 3; ++axis) u[axis] = centre[axis] + radius * u[axis] / length;
  return u;
}

// Touches of a sphere of `diameter` (0: one fixed point) from random postures. The points are
// the poses `measured` gives; the true tool puts the ball centre on the sphere, off it by
// `radialNoise` (standard deviation, mm).
struct Touches {
  const ArmRecord& truth;
  const ArmRecord& measured;
  double diameter = kSphereDiameter;
  double radialNoise = 0.0;
  int count = 60;
  unsigned seed = 7;

  std::vector<Pose> Make() const {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> degrees(-170.0, 170.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double expected = diameter == 0.0 ? 0.0 : (kProbeDiameter + diameter) * 0.5;
    const auto cpd = CountsPerDegree(truth);
    std::vector<Pose> points;
    for (int i = 0; i < count; ++i) {
      std::array<double, kMaxJoints> counts{};
      for (int j = 0; j < truth.jointCount; ++j) counts[j] = degrees(random) * cpd[j];
      const Pose real = ArmPose(truth, counts);
      Pose point = ArmPose(measured, counts);
      const double radius = expected + (expected != 0.0 ? radialNoise * normal(random) : 0.0);
      const Vector3 target = OnSphere(kSphereCentre, radius, random);
      for (int axis = 0; axis < 3; ++axis) point[4 * axis + 3] += target[axis] - real[4 * axis + 3];
      points.push_back(point);
    }
    return points;
  }
};

struct Fitted {
  int result = 0;
  ProbeOffsetFit fit;
  ArmRecord probe;
};

Fitted Fit(const ArmRecord& measured, std::vector<Pose> points, double sphereDiameter) {
  Fitted fitted{0, {}, measured};
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  fitted.result = FitProbeOffset(fitted.probe, points, kProbeDiameter * 0.5, sphereDiameter * 0.5,
                                 workspace, fitted.fit);
  return fitted;
}

void ExpectNear(const Vector3& actual, const Vector3& expected, double tolerance) {
  for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(actual[axis], expected[axis], tolerance);
}

ArmRecord Offset(ArmRecord arm, const Vector3& error) {
  for (std::size_t axis = 0; axis < 3; ++axis)
    arm.parameters[ToolIndex(arm) + axis] += float(error[axis]);
  return arm;
}

TEST(FitSphere, RefusesTooFewOrDegeneratePointsAndLeavesTheResult) {
  const std::vector<Vector3> square{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  const std::vector<Vector3> flat{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 3, 0}};
  const std::vector<Vector3> tooMany(kMaxSpherePoints + 1, Vector3{1, 2, 3});
  Sphere sphere{{9, 9, 9}, 3};
  EXPECT_EQ(FitSphere(std::span(square).first(3), sphere, false), kSphereTooFewPoints);
  EXPECT_EQ(FitSphere(square, sphere, false), kSphereDegenerate);
  EXPECT_EQ(FitSphere(flat, sphere, false), kSphereDegenerate);
  EXPECT_EQ(FitSphere(tooMany, sphere, false), kSphereTooManyPoints);
  EXPECT_EQ(std::tuple(sphere.centre, sphere.radius), std::tuple(Vector3{9, 9, 9}, 3.0));
}

TEST(FitSphere, FindsTheSphereThroughFourOrMorePoints) {
  const Vector3 c{10, -20, 30};
  const double r = 12.5;
  std::mt19937 random(3);
  std::vector<Vector3> points;
  for (int i = 0; i < 30; ++i) points.push_back(OnSphere(c, r, random));
  for (const std::size_t count : {std::size_t{4}, std::size_t{30}}) {
    SCOPED_TRACE(count);
    Sphere sphere;
    EXPECT_EQ(FitSphere(std::span(points).first(count), sphere, false), kSphereFitted);
    ExpectNear(sphere.centre, c, 1e-9);
    EXPECT_NEAR(sphere.radius, r, 1e-9);
  }
  // With its radius fixed at the truth the centre is found from a cap of the sphere, and the
  // radius is not touched.
  std::vector<Vector3> cap;
  for (const Vector3& p : points) {
    if (p[2] > c[2]) cap.push_back(p);
  }
  Sphere fixed{{}, r};
  EXPECT_EQ(FitSphere(cap, fixed, true), kSphereFitted);
  ExpectNear(fixed.centre, c, 1e-7);
  EXPECT_EQ(fixed.radius, r);
}

// The correction lands in the tool group the kinematics use, on a plain arm and on one with the
// table channel: the corrected record is the true one.
TEST(FitProbeOffset, RecoversAWrongTipOffsetInTheToolGroup) {
  for (const char* name : {"usb6_quaternion", "rotating_table"}) {
    SCOPED_TRACE(name);
    const ArmRecord truth = DemoArm(name);
    const ArmRecord wrong = Offset(truth, {0.5, 0.0, 0.0});
    for (const double diameter : {kSphereDiameter, 0.0}) {
      SCOPED_TRACE(diameter);
      const Fitted fitted = Fit(wrong, Touches{truth, wrong, diameter}.Make(), diameter);
      ASSERT_EQ(fitted.result, kCalibrationDone);
      EXPECT_NEAR(fitted.fit.correction[0], -0.5, 1e-4);
      EXPECT_NEAR(fitted.fit.sigma, 0.0, 1e-5);
      EXPECT_NEAR(fitted.fit.measuredDiameter, diameter, 1e-4);
      for (std::size_t k = 0; k < kMaxParameters; ++k) {
        EXPECT_NEAR(fitted.probe.parameters[k], truth.parameters[k], 1e-4) << k;
      }
    }
  }
}

TEST(FitProbeOffset, NoiseGivesASigmaOfItsSizeAndRefusesWhatItCannotFit) {
  ArmRecord arm = DemoArm("usb6_quaternion");
  const Fitted noisy =
      Fit(arm, Touches{arm, arm, kSphereDiameter, 0.005, 100}.Make(), kSphereDiameter);
  EXPECT_NEAR(noisy.fit.sigma, 0.005, 0.001);
  EXPECT_NEAR(noisy.fit.measuredDiameter, kSphereDiameter, 0.005);

  std::vector<Pose> points = Touches{arm, arm}.Make();
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  ProbeOffsetFit fit;
  const ArmRecord before = arm;
  EXPECT_EQ(FitProbeOffset(arm, std::span(points).first(3), 2, 12.5, workspace, fit),
            kCalibrationTooFewPoints);
  ArmRecord dh = DemoArm("serial6_dh_marks");
  const ArmRecord dhBefore = dh;
  EXPECT_EQ(FitProbeOffset(dh, points, 2, 12.5, workspace, fit), kCalibrationNoToolTranslation);
  LevenbergWorkspace small(3, 10);
  EXPECT_EQ(FitProbeOffset(arm, points, 2, 12.5, small, fit), kCalibrationTooFewPoints);
  EXPECT_EQ(std::tie(arm, dh), std::tie(before, dhBefore));
}

class ComputeProbeCalibrationTest : public ::testing::Test {
 protected:
  int Calibrate(std::span<const Pose> points, double sphereDiameter, const ArmRecord& working) {
    calibration = {};
    return ComputeProbeCalibration(points, working, kProbeDiameter, sphereDiameter, copy,
                                   calibration, english);
  }
  const Language english;
  const ArmRecord arm = DemoArm("usb6_quaternion");
  ArmRecord copy;
  ProbeCalibration calibration;
};

TEST_F(ComputeProbeCalibrationTest, FilterKeepsOnlyResidualsStrictlyWithinSigma) {
  // Values exact in binary: mean 0.25, sigma 0.5.
  const ResidualStatistics statistics{-1.0, 1.0, 0.25};
  EXPECT_FALSE(KeptByFilter(0.75, statistics, 0.5));
  EXPECT_FALSE(KeptByFilter(-0.25, statistics, 0.5));
  EXPECT_TRUE(KeptByFilter(0.7499999, statistics, 0.5));
  EXPECT_TRUE(KeptByFilter(-0.2499999, statistics, 0.5));
  EXPECT_TRUE(KeptByFilter(0.25, statistics, 0.0)) << "sigma 0 keeps every point";
}

TEST_F(ComputeProbeCalibrationTest, ReportsEachFilterPassThatRemovesPoints) {
  const char* const line =
      R"(^_Filtering \(pass ([12])\)\.\.\. ([0-9]+)/([0-9]+) points Sigma=[0-9]\.[0-9]{3}$)";
  // Noise: pass 2 removes more, counted with pass 1's.
  ASSERT_EQ(Calibrate(Touches{arm, arm, kSphereDiameter, 0.005, 100}.Make(), kSphereDiameter, arm),
            kCalibrationDone);
  ASSERT_EQ(calibration.report.size(), 5u);
  EXPECT_EQ(std::tie(calibration.report[0], calibration.report[1]), std::tuple("", "Report:"));
  EXPECT_TRUE(
      Groups(calibration.report[2], R"(^Qualify sphere diameter=25\.00[0-9] Sigma=0\.00[0-9]$)")
          .has_value())
      << calibration.report[2];
  const auto first = Groups(calibration.report[3], line);
  const auto second = Groups(calibration.report[4], line);
  ASSERT_TRUE(first && second) << calibration.report[3] << '\n' << calibration.report[4];
  EXPECT_EQ((*first)[1] + (*second)[1], "12");
  EXPECT_LT(std::stoi((*first)[2]), std::stoi((*second)[2]));
  EXPECT_EQ(std::tuple(std::stoi((*second)[2]), (*second)[3]),
            std::tuple(100 - calibration.keptCount, "100"));

  // A sphere larger than typed: every residual near the mean, pass 2 removes none.
  ASSERT_EQ(
      Calibrate(Touches{arm, arm, kSphereDiameter + 0.04, 0.001, 40}.Make(), kSphereDiameter, arm),
      kCalibrationDone);
  ASSERT_EQ(calibration.report.size(), 4u);
  const auto only = Groups(calibration.report[3], line);
  ASSERT_TRUE(only) << calibration.report[3];
  EXPECT_EQ(std::tuple((*only)[2], calibration.keptCount), std::tuple("0", 40));
}

TEST_F(ComputeProbeCalibrationTest, PointCalibrationWithAWrongOffset) {
  const ArmRecord wrong = Offset(arm, {0.5, 0.0, 0.0});
  ASSERT_EQ(Calibrate(Touches{arm, wrong, 0.0, 0.0, 30}.Make(), 0.0, wrong), kCalibrationDone);
  EXPECT_TRUE(calibration.report[2].starts_with("Arm point calibration Sigma=0.000"))
      << calibration.report[2];
  EXPECT_NEAR(calibration.fit.correction[0], -0.5, 1e-4);
  EXPECT_EQ(calibration.fit.measuredDiameter, 0.0);
  EXPECT_NEAR(copy.parameters[ToolIndex(arm)], arm.parameters[ToolIndex(arm)], 1e-4);
}

// Touches that coincide exactly leave sigma 0: no point is an outlier and all of them stay.
TEST_F(ComputeProbeCalibrationTest, ExactTouchesDoNotAbandonTheCalibration) {
  Pose still = kIdentityPose;
  std::tie(still[3], still[7], still[11]) =
      std::tie(kSphereCentre[0], kSphereCentre[1], kSphereCentre[2]);
  ASSERT_EQ(Calibrate(std::vector<Pose>(20, still), 0.0, arm), kCalibrationDone);
  EXPECT_EQ(
      std::tuple(copy, calibration.keptCount, calibration.fit.sigma, calibration.report.back()),
      std::tuple(arm, 20, 0.0, "_Filtering (pass 1)... 0/20 points Sigma=0.000"));
}

// A point that is not a number spoils every residual: the probe keeps the tip offset it had.
// Too few or too many points are refused before any report.
TEST_F(ComputeProbeCalibrationTest, AbandonsOrRefusesWithTooFewOrTooManyPoints) {
  auto points = Touches{arm, arm, kSphereDiameter, 0.0, 101}.Make();
  EXPECT_EQ(Calibrate(std::span(points).first(14), kSphereDiameter, arm), kCalibrationTooFewPoints);
  EXPECT_EQ(Calibrate(std::span(points).first(15), kSphereDiameter, arm), kCalibrationDone);
  EXPECT_EQ(Calibrate(points, kSphereDiameter, arm), kCalibrationTooManyPoints);
  EXPECT_TRUE(calibration.report.empty());
  EXPECT_EQ(TooFewCalibrationPointsMessage(english), "Acquire at least  15 points");

  points[3][7] = NAN;
  copy = Offset(arm, {1.0, 2.0, 3.0});
  EXPECT_EQ(Calibrate(std::span(points).first(20), kSphereDiameter, arm), kCalibrationTooFewKept);
  EXPECT_EQ(std::tuple(copy, calibration.report.back()),
            std::tuple(arm, "_too few points left: calibration not computed"));
}

}  // namespace
}  // namespace pilvo
