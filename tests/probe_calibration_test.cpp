// Probe calibration on synthetic touches of a sphere: poses of demo arms in random postures,
// computed by the kinematic model, moved so that the true tip lies on the sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "data/local_text.h"
#include "data/tab_file.h"
#include "demo_arm.h"
#include "measure/kinematics.h"
#include "platform/atomic_file.h"
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

std::size_t ToolIndex(const ArmRecord& arm) {
  return static_cast<std::size_t>(
      6 * (arm.options.tableChannel ? arm.jointCount - 1 : arm.jointCount) + 3);
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
      Vector3 u{normal(random), normal(random), normal(random)};
      const double length = std::hypot(u[0], u[1], u[2]);
      const double radius = expected + (expected != 0.0 ? radialNoise * normal(random) : 0.0);
      for (int axis = 0; axis < 3; ++axis) {
        const double target = kSphereCentre[axis] + radius * u[axis] / length;
        point[4 * axis + 3] += target - real[4 * axis + 3];
      }
      points.push_back(point);
    }
    return points;
  }
};

struct Fitted {
  int result;
  ProbeOffsetFit fit;
  ArmRecord probe;
};

Fitted Fit(const ArmRecord& measured, std::vector<Pose>& points, double sphereDiameter) {
  Fitted fitted{0, {}, measured};
  LevenbergWorkspace workspace(3, kMaxCalibrationPoints);
  fitted.result = FitProbeOffset(fitted.probe, points, kProbeDiameter * 0.5, sphereDiameter * 0.5,
                                 workspace, fitted.fit);
  return fitted;
}

ArmRecord Offset(ArmRecord arm, const Vector3& error) {
  for (std::size_t axis = 0; axis < 3; ++axis)
    arm.parameters[ToolIndex(arm) + axis] += float(error[axis]);
  return arm;
}

TEST(FitSphere, RefusesTooFewOrDegeneratePointsAndLeavesTheResult) {
  const std::vector<Vector3> square{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  const std::vector<Vector3> flat{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 3, 0}};
  Sphere sphere{{9, 9, 9}, 3};
  EXPECT_EQ(FitSphere(std::span(square).first(3), sphere, false), kSphereTooFewPoints);
  EXPECT_EQ(FitSphere(square, sphere, false), kSphereDegenerate);
  EXPECT_EQ(FitSphere(flat, sphere, false), kSphereDegenerate);
  const std::vector<Vector3> tooMany(kMaxSpherePoints + 1, Vector3{1, 2, 3});
  EXPECT_EQ(FitSphere(tooMany, sphere, false), kSphereTooManyPoints);
  EXPECT_EQ(sphere.centre, (Vector3{9, 9, 9}));
  EXPECT_EQ(sphere.radius, 3);
}

TEST(FitSphere, FindsTheSphereThroughFourOrMorePoints) {
  const Vector3 c{10, -20, 30};
  const double r = 12.5;
  std::mt19937 random(3);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<Vector3> points;
  for (int i = 0; i < 30; ++i) {
    Vector3 u{normal(random), normal(random), normal(random)};
    const double length = std::hypot(u[0], u[1], u[2]);
    points.push_back(
        {c[0] + r * u[0] / length, c[1] + r * u[1] / length, c[2] + r * u[2] / length});
  }
  for (const std::size_t count : {std::size_t{4}, std::size_t{30}}) {
    SCOPED_TRACE(count);
    Sphere sphere;
    EXPECT_EQ(FitSphere(std::span(points).first(count), sphere, false), kSphereFitted);
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(sphere.centre[axis], c[axis], 1e-9);
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
  for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(fixed.centre[axis], c[axis], 1e-7);
  EXPECT_EQ(fixed.radius, r);
}

// The correction lands in the tool group the kinematics use: the corrected record's poses put
// the tips back on the sphere, on a plain arm and on one with the table channel.
TEST(FitProbeOffset, RecoversAWrongTipOffsetInTheToolGroup) {
  for (const char* name : {"usb6_quaternion", "rotating_table"}) {
    SCOPED_TRACE(name);
    const ArmRecord truth = DemoArm(name);
    const ArmRecord wrong = Offset(truth, {0.5, 0.0, 0.0});
    for (const double diameter : {kSphereDiameter, 0.0}) {
      SCOPED_TRACE(diameter);
      std::vector<Pose> points = Touches{truth, wrong, diameter}.Make();
      const Fitted fitted = Fit(wrong, points, diameter);
      ASSERT_EQ(fitted.result, kCalibrationDone);
      EXPECT_NEAR(fitted.fit.correction[0], -0.5, 1e-4);
      EXPECT_NEAR(fitted.fit.correction[1], 0.0, 1e-4);
      EXPECT_NEAR(fitted.fit.correction[2], 0.0, 1e-4);
      EXPECT_NEAR(fitted.fit.sigma, 0.0, 1e-5);
      EXPECT_NEAR(fitted.fit.measuredDiameter, diameter, 1e-4);
      for (std::size_t k = 0; k < kMaxParameters; ++k) {
        EXPECT_NEAR(fitted.probe.parameters[k], truth.parameters[k], 1e-4) << k;
      }
      const double expected = diameter == 0.0 ? 0.0 : (kProbeDiameter + diameter) * 0.5;
      for (const Pose& point : Touches{truth, fitted.probe, diameter}.Make()) {
        const double distance = std::hypot(point[3] - kSphereCentre[0], point[7] - kSphereCentre[1],
                                           point[11] - kSphereCentre[2]);
        EXPECT_NEAR(distance, expected, 1e-4);
      }
    }
  }
}

TEST(FitProbeOffset, NoiseGivesASigmaOfItsSize) {
  const ArmRecord arm = DemoArm("usb6_quaternion");
  std::vector<Pose> points = Touches{arm, arm, kSphereDiameter, 0.005, 100}.Make();
  const Fitted fitted = Fit(arm, points, kSphereDiameter);
  EXPECT_GT(fitted.fit.sigma, 0.004);
  EXPECT_LT(fitted.fit.sigma, 0.006);
  EXPECT_NEAR(fitted.fit.measuredDiameter, kSphereDiameter, 0.005);
}

TEST(FitProbeOffset, RefusesWhatItCannotFit) {
  ArmRecord arm = DemoArm("usb6_quaternion");
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
  EXPECT_EQ(arm, before);
  EXPECT_EQ(dh, dhBefore);
}

class ComputeProbeCalibrationTest : public ::testing::Test {
 protected:
  const Language english;
  const ArmRecord arm = DemoArm("usb6_quaternion");
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
  const std::regex line(R"(_Filtering \(pass ([12])\)\.\.\. (\d+)/(\d+) points Sigma=\d\.\d{3})");
  {
    SCOPED_TRACE("noise: pass 2 removes more, counted with pass 1's");
    const auto points = Touches{arm, arm, kSphereDiameter, 0.005, 100}.Make();
    ArmRecord copy;
    ProbeCalibration calibration;
    ASSERT_EQ(ComputeProbeCalibration(points, arm, kProbeDiameter, kSphereDiameter, copy,
                                      calibration, english),
              kCalibrationDone);
    ASSERT_EQ(calibration.report.size(), 5u);
    EXPECT_EQ(calibration.report[0], "");
    EXPECT_EQ(calibration.report[1], "Report:");
    EXPECT_TRUE(std::regex_match(calibration.report[2],
                                 std::regex(R"(Qualify sphere diameter=25\.00\d Sigma=0\.00\d)")))
        << calibration.report[2];
    std::smatch first, second;
    ASSERT_TRUE(std::regex_match(calibration.report[3], first, line)) << calibration.report[3];
    ASSERT_TRUE(std::regex_match(calibration.report[4], second, line)) << calibration.report[4];
    EXPECT_EQ(first[1], "1");
    EXPECT_EQ(second[1], "2");
    EXPECT_LT(std::stoi(first[2]), std::stoi(second[2]));
    EXPECT_EQ(std::stoi(second[2]), 100 - calibration.keptCount);
    EXPECT_EQ(second[3], "100");
  }
  {
    SCOPED_TRACE("a sphere larger than typed: every residual near the mean, pass 2 removes none");
    const auto points = Touches{arm, arm, kSphereDiameter + 0.04, 0.001, 40}.Make();
    ArmRecord copy;
    ProbeCalibration calibration;
    ASSERT_EQ(ComputeProbeCalibration(points, arm, kProbeDiameter, kSphereDiameter, copy,
                                      calibration, english),
              kCalibrationDone);
    ASSERT_EQ(calibration.report.size(), 4u);
    std::smatch first;
    ASSERT_TRUE(std::regex_match(calibration.report[3], first, line)) << calibration.report[3];
    EXPECT_EQ(first[2], "0");
    EXPECT_EQ(calibration.keptCount, 40);
  }
}

TEST_F(ComputeProbeCalibrationTest, PointCalibrationWithAWrongOffset) {
  const ArmRecord wrong = Offset(arm, {0.5, 0.0, 0.0});
  const auto points = Touches{arm, wrong, 0.0, 0.0, 30}.Make();
  ArmRecord copy;
  ProbeCalibration calibration;
  ASSERT_EQ(ComputeProbeCalibration(points, wrong, kProbeDiameter, 0.0, copy, calibration, english),
            kCalibrationDone);
  EXPECT_TRUE(calibration.report[2].starts_with("Arm point calibration Sigma=0.000"))
      << calibration.report[2];
  EXPECT_NEAR(calibration.fit.correction[0], -0.5, 1e-4);
  EXPECT_EQ(calibration.fit.measuredDiameter, 0.0);
  EXPECT_NEAR(copy.parameters[ToolIndex(arm)], arm.parameters[ToolIndex(arm)], 1e-4);
}

// Touches that coincide exactly leave sigma 0: no point is an outlier and all of them stay.
TEST_F(ComputeProbeCalibrationTest, ExactTouchesDoNotAbandonTheCalibration) {
  Pose still = kIdentityPose;
  still[3] = kSphereCentre[0];
  still[7] = kSphereCentre[1];
  still[11] = kSphereCentre[2];
  const std::vector<Pose> points(20, still);
  ArmRecord copy;
  ProbeCalibration calibration;
  ASSERT_EQ(ComputeProbeCalibration(points, arm, kProbeDiameter, 0.0, copy, calibration, english),
            kCalibrationDone);
  EXPECT_EQ(copy, arm);
  EXPECT_EQ(calibration.keptCount, 20);
  EXPECT_EQ(calibration.fit.sigma, 0.0);
  EXPECT_EQ(calibration.report.back(), "_Filtering (pass 1)... 0/20 points Sigma=0.000");
}

// A point that is not a number spoils every residual: the probe keeps the tip offset it had.
TEST_F(ComputeProbeCalibrationTest, AbandonsWhenFilteringLeavesTooFewPoints) {
  auto points = Touches{arm, arm, kSphereDiameter, 0.0, 20}.Make();
  points[3][7] = NAN;
  ArmRecord copy = Offset(arm, {1.0, 2.0, 3.0});
  ProbeCalibration calibration;
  EXPECT_EQ(ComputeProbeCalibration(points, arm, kProbeDiameter, kSphereDiameter, copy, calibration,
                                    english),
            kCalibrationTooFewKept);
  EXPECT_EQ(copy, arm);
  EXPECT_EQ(calibration.report.back(), "_too few points left: calibration not computed");
}

TEST_F(ComputeProbeCalibrationTest, RefusesTooFewOrTooManyPoints) {
  const auto points = Touches{arm, arm, kSphereDiameter, 0.0, 101}.Make();
  ArmRecord copy = arm;
  ProbeCalibration calibration;
  EXPECT_EQ(
      ComputeProbeCalibration(std::span(points).first(14), arm, 4, 25, copy, calibration, english),
      kCalibrationTooFewPoints);
  EXPECT_EQ(ComputeProbeCalibration(points, arm, 4, 25, copy, calibration, english),
            kCalibrationTooManyPoints);
  EXPECT_TRUE(calibration.report.empty());
  EXPECT_EQ(TooFewCalibrationPointsMessage(english), "Acquire at least  15 points");
}

}  // namespace
}  // namespace pilvo
