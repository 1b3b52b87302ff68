// The probes management dialog's model against the virtual arm in this process, and the
// residuals of the calibration.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <Eigen/Dense>

#include "comma_locale.h"
#include "data/settings.h"
#include "dialogs/calibration_acquisition.h"
#include "dialogs/probes_dialog.h"
#include "sim/motions.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

using testing::Link;
using testing::PlainDemoTab;
using Kind = ScriptedOperator::Request::Kind;
using Texts = std::vector<std::string>;

constexpr char kFactoryTool[] = "Impossibile to modify factory tool";
constexpr char kEnterNumber[] = "Please enter a number.";
constexpr char kAcquireAtLeast[] = "Acquire at least  15 points";
constexpr char kInsertMode[] = "Insert 'Mode' option";
constexpr char kNotCalibrated[] = "Probe not calibrated.\n\nCancel the calibration?";

class ProbesDialogTest : public testing::SimSessionTest {
 protected:
  ProbesDialogTest() { wire_ = testing::Wire::InProcess; }
  void TearDown() override {
    dialog_.reset();
    SimSessionTest::TearDown();
  }

  // The demo arm with its three probes, the link open, `toolInUse` stored, the dialog open.
  void Open(TabContents contents = PlainDemoTab("usb6_quaternion"), int toolInUse = 0,
            Program program = Program::Library) {
    dialog_.reset();
    Connect(std::move(contents), Link::Usb, program);
    ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
    WriteSettingInt("Tools", "toolInUse", toolInUse, context_.installationStore());
    WriteSettingString("Data", "SphereDiameter", "25.4", context_.installationStore());
    dialog_ = OpenProbesDialog(*session_);
    ASSERT_TRUE(dialog_);
    ui_.Clear();
  }
  void AddProbe(ProbeMode mode) {
    dialog_->Add();
    dialog_->SetProbeDiameterText("2.000");
    dialog_->ChooseMode(mode);
  }
  void TickWith(std::initializer_list<int> buttons) {
    Hold(buttons);
    dialog_->Tick();
  }
  void Press(int button) {
    TickWith({button});
    TickWith({});
  }
  std::uint32_t StoredTool() const {
    return GetSettingInt("Tools", "toolInUse", 0, context_.installationStore());
  }
  std::string StoredSphere() const {
    return GetSettingString("Data", "sphereDiameter", "", context_.installationStore());
  }
  Texts TextsOf(Kind kind) const {
    Texts texts;
    for (const auto& request : ui_.requests()) {
      if (request.kind == kind) texts.push_back(request.text);
    }
    return texts;
  }

  std::unique_ptr<ProbesDialog> dialog_;
};

TEST_F(ProbesDialogTest, RefusesWithoutManagementProbesOrRoom) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Serial);
  EXPECT_EQ(OpenProbesDialog(*session_), nullptr);
  EXPECT_EQ(TextsOf(Kind::Message), Texts{"Probe management not available"});

  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.probeCount = 0;
  Open(contents);
  EXPECT_EQ(std::tuple(dialog_->selectorItems(), dialog_->controls().selector),
            std::tuple(Texts{"Factory calibration"}, false));
  dialog_->Modify();
  dialog_->Delete();
  EXPECT_EQ(std::tuple(TextsOf(Kind::Message), TextsOf(Kind::YesNo)),
            std::tuple(Texts{kFactoryTool, kFactoryTool}, Texts{}));

  contents = PlainDemoTab("usb6_quaternion");
  for (int probe = 3; probe < kMaxProbes; ++probe) contents.probes[probe] = contents.probes[0];
  contents.main.probeCount = kMaxProbes;
  Open(contents);
  dialog_->Add();
  EXPECT_EQ(TextsOf(Kind::Message), Texts{"Probes buffer full"});
  EXPECT_FALSE(dialog_->editing() || dialog_->TakeNameFocus());
}

// The scanner's own report, and what is saved, are checked through the probes window too.
TEST_F(ProbesDialogTest, SavesWithoutPointsAScannerAtOnceAStandardProbeAfterAsking) {
  Open();
  AddProbe(ProbeMode::ScannerProbe);
  EXPECT_TRUE(dialog_->TakeNameFocus());
  EXPECT_FALSE(dialog_->TakeNameFocus()) << "once after Add";
  EXPECT_TRUE(dialog_->computed());
  dialog_->Save();
  EXPECT_FALSE(dialog_->editing());
  const ArmRecord probe = OnDisk().probes[3];
  EXPECT_EQ(
      std::tuple(probe.probeText2, probe.options.auxiliaryInput2, probe.options.auxiliaryInput0),
      std::tuple(" -", true, false));

  AddProbe(ProbeMode::Standard);
  dialog_->Save();  // No
  EXPECT_TRUE(dialog_->editing());
  ui_.ScriptAnswer(true);
  dialog_->Save();
  EXPECT_EQ(TextsOf(Kind::YesNo), Texts(2, "Save the probe without calibration?"));
  EXPECT_EQ(OnDisk().main.probeCount, 5);
}

TEST_F(ProbesDialogTest, SaveAndComputeCheckTheModeAndTheNumbers) {
  for (const auto program : {Program::Library, Program::Wizard}) {
    SCOPED_TRACE(program == Program::Wizard ? "wizard" : "library");
    Open(PlainDemoTab("usb6_quaternion"), 0, program);
    dialog_->Add();
    dialog_->Save();
    dialog_->Compute();
    dialog_->ChooseMode(ProbeMode::Standard);
    dialog_->Save();  // the probe diameter is empty
    dialog_->SetProbeDiameterText("2,5");
    dialog_->Compute();
    dialog_->SetProbeDiameterText(" 2.5 ");
    dialog_->SetSphereDiameterText("25,4");
    dialog_->Save();
    dialog_->SetSphereDiameterText("-25.4");
    dialog_->Compute();
    dialog_->SetSphereDiameterText("25.4");
    dialog_->Compute();
    const Texts commas = program == Program::Wizard
                             ? Texts{"_use dot(.) not comma(,)", "Use dot (.) not comma (,)"}
                             : Texts{kEnterNumber, kEnterNumber};
    EXPECT_EQ(TextsOf(Kind::Message), (Texts{kInsertMode, kInsertMode, kEnterNumber, commas[0],
                                             commas[1], kEnterNumber, kAcquireAtLeast}));
    EXPECT_TRUE(dialog_->editing());
  }
}

TEST_F(ProbesDialogTest, ApplyAsksWhileEditingAndStoresTheSelectionCancelDoesNot) {
  Open(PlainDemoTab("usb6_quaternion"), 1);
  EXPECT_EQ(std::tuple(dialog_->selection(), dialog_->fields().sphereDiameter,
                       state().reading.probesDialogOpen, arm_->observations().probeModeByte),
            std::tuple(1, "25.400", true, 2));
  dialog_->SelectProbe(2);
  EXPECT_TRUE(dialog_->fields().greenButton);
  dialog_->Modify();
  dialog_->Cancel();
  // The probe in use applied again.
  EXPECT_EQ(
      std::tuple(state().toolInUse, state().working.probeName, state().reading.probesDialogOpen),
      std::tuple(1, "Ball 6 mm", false));

  Open(PlainDemoTab("usb6_quaternion"), 1);
  dialog_->SelectProbe(2);
  dialog_->Modify();
  dialog_->Apply();  // No
  EXPECT_FALSE(dialog_->closed());
  ui_.ScriptAnswer(true);
  dialog_->SetSphereDiameterText("30");
  dialog_->Apply();
  EXPECT_EQ(TextsOf(Kind::YesNo), Texts(2, "The probe is in calibration.\n\nExit from operation?"));
  EXPECT_EQ(std::tuple(dialog_->closed(), state().toolInUse, StoredTool(), StoredSphere(),
                       state().working.probeName, TextsOf(Kind::Connected)),
            std::tuple(true, 2, 2u, "30.000", "Ball 3 mm extension",
                       Texts{"Pilvo3D PA60\nBall 3 mm extension"}));
}

TEST_F(ProbesDialogTest, ModeButtonsConfigureTheBoardsAndTheGreenButton) {
  Open();
  AddProbe(ProbeMode::Renishaw);
  EXPECT_EQ(std::tuple(arm_->observations().configuration.has_value(),
                       state().working.options.auxiliaryInput0,
                       arm_->observations().acknowledgedInputs, dialog_->controls().greenButton),
            std::tuple(true, true, std::vector<int>{0}, false));
  dialog_->ChooseMode(ProbeMode::Standard);
  EXPECT_FALSE(state().working.options.auxiliaryInput0) << "the configure clears the inputs";
  EXPECT_TRUE(dialog_->controls().greenButton);
  dialog_->SetGreenButton(true);
  EXPECT_TRUE(state().working.options.buttonRemap) << "button 3 takes the points from now";
  dialog_->ChooseMode(ProbeMode::ScannerEcu);
  EXPECT_FALSE(dialog_->fields().greenButton || state().working.options.buttonRemap);
}

TEST_F(ProbesDialogTest, ButtonsActOnPressesAndFixTheModeWhileThereArePoints) {
  Open();
  dialog_->Add();
  TickWith({1});
  TickWith({1});
  TickWith({});
  Press(1);
  EXPECT_EQ(dialog_->pointCount(), 0);
  EXPECT_EQ(TextsOf(Kind::Message), Texts{kInsertMode}) << "once per editing period";

  dialog_->ChooseMode(ProbeMode::Standard);
  TickWith({1});
  TickWith({1});
  EXPECT_EQ(dialog_->pointCount(), 1) << "holding the button takes one point";
  dialog_->ChooseMode(ProbeMode::Renishaw);
  EXPECT_EQ(std::tuple(dialog_->fields().mode, dialog_->pointLines().size()),
            std::tuple(ProbeMode::Standard, 1u))
      << "the mode is fixed";
  Press(3);
  Press(1);
  Press(2);
  Press(2);
  // The last point dropped frees the mode.
  EXPECT_EQ(std::tuple(dialog_->pointCount(), dialog_->controls().modes), std::tuple(0, true));
  Press(2);
  EXPECT_EQ(ui_.CountOf(Kind::Beep), 6u) << "nothing to drop, no beep";

  for (int point = 0; point <= kMaxCalibrationPoints; ++point) Press(1);
  EXPECT_EQ(std::tuple(dialog_->pointCount(), TextsOf(Kind::Message).back()),
            std::tuple(kMaxCalibrationPoints, "_points buffer full"));
}

TEST_F(ProbesDialogTest, LeavingTheEditingDropsThePointsAfterAQuestion) {
  Open();
  AddProbe(ProbeMode::Standard);
  Press(1);
  dialog_->Abort();  // No
  dialog_->Save();   // not computed: No
  EXPECT_EQ(TextsOf(Kind::YesNo), Texts(2, kNotCalibrated));
  ui_.ScriptAnswer(true);
  dialog_->Save();
  EXPECT_EQ(std::tuple(dialog_->editing(), state().tab.main.probeCount), std::tuple(false, 3));

  AddProbe(ProbeMode::Standard);
  Press(1);
  arm_->SetPlugged(false);
  dialog_->Tick();
  EXPECT_EQ(std::tuple(TextsOf(Kind::Message), dialog_->editing(), dialog_->pointCount()),
            std::tuple(Texts{"_communication error"}, false, 0));
}

TEST_F(ProbesDialogTest, DeletingKeepsTheProbeInUse) {
  Open(PlainDemoTab("usb6_quaternion"), 3);
  dialog_->SelectProbe(2);
  dialog_->Delete();  // No
  EXPECT_EQ(state().tab.main.probeCount, 3);
  ui_.ScriptAnswer(true);
  dialog_->Delete();
  // Still the touch trigger, now second.
  EXPECT_EQ(
      std::tuple(OnDisk().main.probeCount, dialog_->selection(), state().toolInUse, StoredTool()),
      std::tuple(2, 1, 2, 2u));

  dialog_->SelectProbe(2);
  ui_.ScriptAnswer(true);
  dialog_->Delete();
  EXPECT_EQ(state().toolInUse, 0) << "the probe in use is gone";
  dialog_->Cancel();
  EXPECT_EQ(state().working.probeName, "Ball 6 mm");
}

TEST_F(ProbesDialogTest, AFileThatCannotBeWrittenKeepsTheEditAndTheTable) {
  Open();
  AddProbe(ProbeMode::ScannerEcu);
  const std::string path = state().tabPath;
  state().tabPath = (folder_ / "missing" / "arm.tab").string();
  dialog_->Save();
  EXPECT_EQ(
      std::tuple(TextsOf(Kind::Message).size(), dialog_->editing(), state().tab.main.probeCount),
      std::tuple(1u, true, 3));
  state().tabPath = path;
  dialog_->Save();
  EXPECT_EQ(OnDisk().main.probeCount, 4);
}

TEST_F(ProbesDialogTest, SwitchingOnTheScannerAxisInitialisesTheArmAgain) {
  Open(PlainDemoTab("usb6_quaternion"), 1);
  dialog_->Modify();
  EXPECT_FALSE(dialog_->controls().additionalAxis) << "no third axis on board 3";
  dialog_->Abort();
  state().tab.main.options.board3ThirdAxis = true;
  dialog_->Modify();
  EXPECT_TRUE(dialog_->controls().additionalAxis);
  dialog_->SetAdditionalAxis(true);
  ui_.ScriptAnswer(true);  // saved without calibration
  dialog_->Save();
  dialog_->Apply();
  // The dialog's tooltip, then the initialisation's.
  EXPECT_EQ(std::tuple(arm_->observations().releaseCount, ui_.CountOf(Kind::Connected)),
            std::tuple(1, 2u));
}

// Touches of a sphere of ball centres of radius 14.5 mm about the origin from random
// orientations, each `radialError` off it.
class CalibrationAcquisitionTest : public ::testing::Test {
 protected:
  void Take(double radialError) {
    const auto random = [this] { return std::normal_distribution<double>()(random_); };
    const Eigen::Vector3d axis = Eigen::Vector3d(random(), random(), random()).normalized();
    const Eigen::Matrix3d rotation = Eigen::AngleAxisd(random(), axis).toRotationMatrix();
    const Eigen::Vector3d ball =
        (14.5 + radialError) * Eigen::Vector3d(random(), random(), random()).normalized();
    Pose pose = kIdentityPose;
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 3; ++column) pose[4 * row + column] = rotation(row, column);
      pose[4 * row + 3] = ball[row];
    }
    acquisition_.OnButtons(1, pose, true, ui_);
    acquisition_.OnButtons(0, pose, true, ui_);
  }

  std::mt19937 random_{5};
  ScriptedOperator ui_;
  const Language english_;
  CalibrationAcquisition acquisition_{english_};
};

TEST_F(CalibrationAcquisitionTest, PlotScalesToTheKeptResidualsAndMarksAWideSpread) {
  ArmRecord arm;
  arm.jointCount = 6;
  arm.modelType = 1;
  ArmRecord copy;
  for (const double spread : {0.002, 4.0}) {
    SCOPED_TRACE(spread);
    acquisition_.Start();
    std::normal_distribution<double> error(0.0, spread);
    for (int i = 0; i < 40; ++i) Take(error(random_));
    ASSERT_EQ(acquisition_.Compute(arm, 4.0, 25.0, copy), kCalibrationDone);
    const ResidualPlot plot = acquisition_.residualPlot();
    ASSERT_GE(plot.residuals.size(), 2u);
    EXPECT_LT(plot.residuals.size(), 40u) << "the filter passes drop the outliers";
    const auto [minimum, maximum] = std::ranges::minmax(plot.residuals);
    EXPECT_EQ(std::tuple(plot.minimum, plot.maximum, plot.wideSpread),
              std::tuple(minimum, maximum, spread > 1.0));
    Take(0.0);  // a new point makes the result stale
    EXPECT_EQ(std::tuple(acquisition_.hasResult(), acquisition_.residualPlot().residuals.size(),
                         acquisition_.fit().sigma),
              std::tuple(false, 0u, 0.0));
  }
}

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

// A probe calibrated end to end: the virtual arm carries a stylus that the factory calibration
// does not describe and touches a qualification sphere from many postures; the dialog takes the
// touches from button 1, computes the tip offset, saves the probe and selects it. The host has
// set a decimal-comma locale, as Qt does: no number shown, read or stored may follow it.
class ProbeCalibrationEndToEnd : public ProbesDialogTest {
 protected:
  void SetUp() override {
    testing::SetCommaLocale();
    ProbesDialogTest::SetUp();
    Open();
    EXPECT_EQ(dialog_->fields().sphereDiameter, "25.400") << "the stored 25.4";
    stylus_ = PlainDemoTab("usb6_quaternion").main;
    stylus_.probeRadius = kBallRadius;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      stylus_.parameters[ToolTranslation(stylus_) + axis] += kStylusOffset[axis];
    }
    sphere_ = sim::TouchSphere(stylus_, kSphereDiameter, 40, 21);
    dialog_->Add();
    dialog_->SetName("Stylus 20 mm");
    dialog_->SetProbeDiameterText("3.000");
    dialog_->SetSphereDiameterText("25.000");
    dialog_->ChooseMode(ProbeMode::Standard);
  }
  void TearDown() override {
    ProbesDialogTest::TearDown();
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
};

TEST_F(ProbeCalibrationEndToEnd, CalibratedProbeMeasuresTheSphereWhereItIs) {
  const std::vector<sim::MotionStep> touches = TiltedToucher(stylus_, sphere_).Touches(40, 5);
  ASSERT_EQ(touches.size(), 80u);
  Touch(touches);
  ASSERT_EQ(dialog_->pointCount(), 40);
  const std::string lastLine = dialog_->pointLines().back();
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);  // at the last touch
  dialog_->Compute();
  ASSERT_TRUE(dialog_->computed()) << ::testing::PrintToString(dialog_->reportLines());
  // A tip computed for another sphere or ball must not be saved: retyping a diameter drops it.
  const auto retype = [&](void (ProbesDialog::*set)(std::string), const char* typed) {
    (*dialog_.*set)(typed);
    ASSERT_TRUE(dialog_->computed()) << "the same text keeps the result";
    (*dialog_.*set)("9.000");
    EXPECT_FALSE(dialog_->computed()) << typed;
    (*dialog_.*set)(typed);
    dialog_->Compute();
    ASSERT_TRUE(dialog_->computed());
  };
  retype(&ProbesDialog::SetSphereDiameterText, "25.000");
  retype(&ProbesDialog::SetProbeDiameterText, "3.000");
  dialog_->Save();
  ASSERT_FALSE(dialog_->editing());
  EXPECT_EQ(dialog_->selection(), 4);
  dialog_->Apply();
  ASSERT_TRUE(dialog_->closed());
  EXPECT_EQ(ui_.CountOf(Kind::Message), 0u);
  EXPECT_EQ(ui_.CountOf(Kind::YesNo), 0u);

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
  std::setlocale(LC_ALL, "C");
  char line[128];
  std::snprintf(line, sizeof line, "40:  %.3f, %.3f, %.3f", pose_[3], pose_[7], pose_[11]);
  EXPECT_EQ(lastLine, line);
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
