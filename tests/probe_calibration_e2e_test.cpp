// A probe calibrated end to end: the virtual arm carries a stylus that the factory calibration
// does not describe and touches a qualification sphere from many postures; the probes dialog
// takes the touches from button 1, computes the tip offset, saves the probe into the TAB file
// and selects it, its tip offset that of the stylus. The host has set a decimal-comma locale, as a
// Qt host sets the user's when it starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <random>
#include <vector>

#include <Eigen/Dense>

#include "comma_locale.h"
#include "data/settings.h"
#include "dialogs/probes_dialog.h"
#include "sim/motions.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

using testing::Link;
using testing::PlainDemoTab;

constexpr double kSphereDiameter = 25.0;
constexpr float kBallRadius = 1.5f;
// The stylus on the arm against the factory calibration's: mm, in the last arm frame.
constexpr std::array<float, 3> kStylusOffset{0.8f, -0.6f, 20.0f};

constexpr double kTilt = 60.0;           // degrees each wrist joint turns from a touch
constexpr double kTouchAccuracy = 2e-4;  // mm from the sphere, once on the count grid

std::size_t ToolTranslation(const ArmRecord& arm) {
  return static_cast<std::size_t>(6 * arm.jointCount + 3);
}

// Touches of a sphere as an operator takes them for a calibration, turning the probe far more
// than sim::TouchSphere does: the wrist (joints 4 and 5) turned up to kTilt degrees each way from
// a touch, joints 0 to 3 bringing the ball back onto the sphere, the probe still approaching it.
class TiltedToucher {
 public:
  TiltedToucher(const ArmRecord& arm, const sim::SphereTouches& sphere)
      : arm_(arm), sphere_(sphere) {}

  std::vector<sim::MotionStep> Touches(std::size_t count, std::uint32_t seed) const {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> tilt(-kTilt, kTilt);
    std::vector<sim::MotionStep> steps;
    for (std::size_t attempt = 0; attempt < 50 * count && steps.size() < 2 * count; ++attempt) {
      Posture degrees = sphere_.steps.front().degrees;
      degrees[4] += tilt(random);
      degrees[5] += tilt(random);
      if (!OntoSphere(degrees) || NearestOnGrid(degrees) > kTouchAccuracy) continue;
      const Eigen::Matrix4d pose = sim::ProbePose(arm_, degrees);
      const Eigen::Vector3d toCentre = sphere_.centre - pose.topRightCorner<3, 1>();
      if (toCentre.normalized().dot(pose.block<3, 1>(0, 2)) < 0.2) continue;
      steps.push_back({degrees, {true}, pose});
      steps.push_back({degrees, {}, pose});
    }
    return steps;
  }

 private:
  using Posture = std::vector<double>;

  Eigen::Vector3d Ball(const Posture& degrees) const {
    return sim::ProbePose(arm_, degrees).topRightCorner<3, 1>();
  }
  double Miss(const Posture& degrees) const {
    return (Ball(degrees) - sphere_.centre).norm() - sphere_.ballDistance;
  }
  double Step(int joint) const { return 360.0 / (4.0 * arm_.encoderLines[joint]); }

  // Least-norm Newton steps of joints 0 to 3 to the point of the sphere nearest the ball; false
  // when the posture leaves the joint limits.
  bool OntoSphere(Posture& degrees) const {
    const Eigen::Vector3d target =
        sphere_.centre + sphere_.ballDistance * (Ball(degrees) - sphere_.centre).normalized();
    for (int step = 0; step < 30; ++step) {
      Eigen::Matrix<double, 3, 4> jacobian;
      for (int joint = 0; joint < 4; ++joint) {
        Posture ahead = degrees;
        ahead[joint] += 1e-5;
        jacobian.col(joint) = (Ball(ahead) - Ball(degrees)) / 1e-5;
      }
      const Eigen::Vector4d move =
          jacobian.completeOrthogonalDecomposition().solve(target - Ball(degrees));
      for (int joint = 0; joint < 4; ++joint) degrees[joint] += std::clamp(move[joint], -10., 10.);
    }
    for (int joint = 0; joint < arm_.jointCount; ++joint) {
      const JointLimit& limit = arm_.jointLimits[joint];
      if ((limit.minimum != 0.0 || limit.maximum != 0.0) &&
          (degrees[joint] < limit.minimum || degrees[joint] > limit.maximum)) {
        return false;
      }
    }
    return true;
  }

  // The count grid leaves the ball up to a tenth of a millimetre off the sphere: the counts of
  // joints 4 and 5 nearest it. Returns the miss left.
  double NearestOnGrid(Posture& degrees) const {
    for (int joint = 0; joint < arm_.jointCount; ++joint) {
      degrees[joint] = sim::OnCountGrid(arm_, joint, degrees[joint]);
    }
    const Posture start = degrees;
    double best = std::abs(Miss(degrees));
    for (int a = -40; a <= 40; ++a) {
      Posture tried = start;
      tried[4] = sim::OnCountGrid(arm_, 4, start[4] + a * Step(4));
      Posture ahead = tried;
      ahead[5] += Step(5);
      const double counts = std::round(Miss(tried) / (Miss(tried) - Miss(ahead)));
      for (int b = -1; b <= 1; ++b) {
        tried[5] = sim::OnCountGrid(arm_, 5, start[5] + (counts + b) * Step(5));
        if (const double miss = std::abs(Miss(tried)); miss < best) {
          best = miss;
          degrees = tried;
        }
      }
    }
    return best;
  }

  const ArmRecord& arm_;
  const sim::SphereTouches& sphere_;
};

class ProbeCalibrationEndToEnd : public testing::SimSessionTest {
 protected:
  // The demo arm with the stylus, the probes dialog adding a probe in mode Standard.
  void SetUp() override {
    testing::SetCommaLocale();
    SimSessionTest::SetUp();
    wire_ = testing::Wire::InProcess;
    const TabContents contents = PlainDemoTab("usb6_quaternion");
    Connect(contents, Link::Usb);
    stylus_ = contents.main;
    stylus_.probeRadius = kBallRadius;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      stylus_.parameters[ToolTranslation(stylus_) + axis] += kStylusOffset[axis];
    }
    sphere_ = sim::TouchSphere(stylus_, kSphereDiameter, 40, 21);
    ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
    dialog_ = OpenProbesDialog(*session_);
    ASSERT_TRUE(dialog_);
    dialog_->Add();
    dialog_->SetName("Stylus 20 mm");
    dialog_->SetProbeDiameterText("3.000");
    dialog_->SetSphereDiameterText("25.000");
    dialog_->ChooseMode(ProbeMode::Standard);
  }
  void TearDown() override {
    dialog_.reset();
    SimSessionTest::TearDown();
    std::setlocale(LC_ALL, "C");
  }

  // The arm through `steps`, the dialog's timer ticking once at each.
  void Touch(const std::vector<sim::MotionStep>& steps) {
    for (const sim::MotionStep& step : steps) {
      ASSERT_TRUE(sim::ApplyStep(*arm_, step));
      dialog_->Tick();
    }
  }

  ArmRecord stylus_;  // what the arm really carries
  sim::SphereTouches sphere_;
  std::unique_ptr<ProbesDialog> dialog_;
};

TEST_F(ProbeCalibrationEndToEnd, CalibratedProbeMeasuresTheSphereWhereItIs) {
  const std::vector<sim::MotionStep> touches = TiltedToucher(stylus_, sphere_).Touches(40, 5);
  ASSERT_EQ(touches.size(), 80u);
  Touch(touches);
  ASSERT_EQ(dialog_->pointCount(), 40);
  dialog_->Compute();
  ASSERT_TRUE(dialog_->computed()) << ::testing::PrintToString(dialog_->reportLines());
  dialog_->Save();
  ASSERT_FALSE(dialog_->editing());
  EXPECT_EQ(dialog_->selection(), 4);
  dialog_->Apply();
  ASSERT_TRUE(dialog_->closed());
  EXPECT_EQ(ui_.CountOf(ScriptedOperator::Request::Kind::Message), 0u);
  EXPECT_EQ(ui_.CountOf(ScriptedOperator::Request::Kind::YesNo), 0u);

  // The TAB file holds the probe, and the arm measures with it.
  const TabContents saved = OnDisk();
  ASSERT_EQ(saved.main.probeCount, 4);
  const ArmRecord& probe = saved.probes[3];
  EXPECT_EQ(probe.probeName, "Stylus 20 mm");
  EXPECT_EQ(probe.probeRadius, kBallRadius);
  EXPECT_EQ(probe.probeText2.rfind("Qualify sphere diameter=25.000 Sigma=0.000", 0), 0u)
      << probe.probeText2;
  EXPECT_EQ(state().toolInUse, 4);
  EXPECT_EQ(GetSettingString("Data", "sphereDiameter", "", context_.installationStore()), "25.000");
  EXPECT_EQ(state().working.parameters, probe.parameters);
  double offsetError = 0.0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::size_t index = ToolTranslation(probe) + axis;
    offsetError = std::max(offsetError,
                           std::abs(double{probe.parameters[index]} - stylus_.parameters[index]));
  }
  // The kinematics are checked against the arm elsewhere: a tip offset this near measures the
  // sphere where it is.
  EXPECT_LE(offsetError, 0.002);
}

// A fit's fixed passes stop far from the tip when the touches barely turn the probe: such
// touches give no calibration rather than a wrong one.
TEST_F(ProbeCalibrationEndToEnd, TouchesThatBarelyTurnTheProbeGiveNoCalibration) {
  Touch(sphere_.steps);
  ASSERT_EQ(dialog_->pointCount(), 40);
  dialog_->Compute();
  EXPECT_FALSE(dialog_->computed());
  EXPECT_EQ(dialog_->reportLines().back(),
            "_the touches do not turn the probe enough: calibration not computed");
  EXPECT_TRUE(dialog_->pointListShown());
  dialog_->Save();  // not calibrated: No
  EXPECT_TRUE(dialog_->editing());
  EXPECT_EQ(state().tab.main.probeCount, 3);
}

}  // namespace
}  // namespace pilvo
