// The probes management dialog's model against the virtual arm in this process, and the
// residuals of the calibration.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>

#include <Eigen/Geometry>

#include "comma_locale.h"
#include "data/settings.h"
#include "dialogs/calibration_acquisition.h"
#include "dialogs/probes_dialog.h"
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

// A host that sets a decimal-comma locale when it starts, as Qt does, changes no number: the
// stored sphere diameter, the fields and point lines the dialog shows and reads back, the store
// it writes.
TEST_F(ProbesDialogTest, NumbersDoNotDependOnTheProcessLocale) {
  const char* commaLocale = testing::SetCommaLocale();
  if (!commaLocale) GTEST_SKIP() << "no locale with a decimal comma is installed";
  Open(PlainDemoTab("usb6_quaternion"), 1);  // "25.4" stored
  const ProbeFields shown = dialog_->fields();
  dialog_->Modify();
  Press(1);
  const Texts pointLines = dialog_->pointLines();
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);  // the arm has not moved
  Press(2);
  dialog_->Compute();  // the diameters read, then too few points
  ui_.ScriptAnswer(true);
  dialog_->Save();  // the diameters read, then saved without calibration
  dialog_->Apply();
  std::setlocale(LC_ALL, "C");
  char line[128];
  std::snprintf(line, sizeof line, "1:  %.3f, %.3f, %.3f", pose_[3], pose_[7], pose_[11]);
  EXPECT_EQ(std::tuple(shown.sphereDiameter, shown.probeDiameter, pointLines, StoredSphere()),
            std::tuple("25.400", "6.000", Texts{line}, "25.400"))
      << commaLocale;
  EXPECT_EQ(std::tuple(TextsOf(Kind::Message), TextsOf(Kind::YesNo), dialog_->closed()),
            std::tuple(Texts{kAcquireAtLeast}, Texts{"Save the probe without calibration?"}, true));
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

}  // namespace
}  // namespace pilvo
