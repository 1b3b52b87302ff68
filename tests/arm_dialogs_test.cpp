// The arm status dialogs' models against the virtual arm in this process, the operators that run
// them with their script files, and the 3-D view's scene.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "data/settings.h"
#include "dialogs/alignment_procedure.h"
#include "dialogs/arm_dialogs.h"
#include "dialogs/arm_scene.h"
#include "dialogs/console_operator.h"
#include "dialogs/limits_warning.h"
#include "dialogs/operator_choice.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"
#include "measure/frame_geometry.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

using testing::Link;
using testing::PlainDemoTab;
using Kind = ScriptedOperator::Request::Kind;
using Texts = std::vector<std::string>;
using std::tuple;

const Texts kSixEncoders{"ENCODER 1", "ENCODER 2", "ENCODER 3",
                         "ENCODER 4", "ENCODER 5", "ENCODER 6"};
const Texts kTableEncoders{"ENCODER 1", "ENCODER 2", "ENCODER 3", "ENCODER 4", "ROTATING TABLE"};

class ArmDialogsTest : public testing::SimSessionTest {
 protected:
  ArmDialogsTest() { wire_ = testing::Wire::InProcess; }
  // The six-joint serial arm with reference marks, none of them passed yet, its link open.
  void ConnectUnreferenced(TabContents contents = PlainDemoTab("serial6_dh_marks")) {
    armOptions_.referenced = false;
    Connect(contents, Link::Serial);
    ASSERT_EQ(session_->ReadArmCounts(), 0);
  }
  // Degrees of one encoder count of `joint`: what an angle read back may be off by.
  double CountDegrees(std::size_t joint) { return 90.0 / state().working.encoderLines[joint]; }
  ResetDialogSetup Setup() const { return {.tabPath = "arm.tab", .ambientTemperature = 21}; }
  std::uint32_t Stored(std::string_view key) const {
    return GetSettingInt("Options", key, -5, Store(kProductStore));
  }
};

TEST_F(ArmDialogsTest, ResetIndicatorsAndViewFollowTheMarks) {
  for (const std::int32_t variant : {0, 3}) {
    SCOPED_TRACE(variant);
    TabContents contents = PlainDemoTab("serial6_dh_marks");
    contents.main.armVariant = variant;
    ConnectUnreferenced(contents);
    ASSERT_TRUE(arm_->SetJointAngles(std::vector<double>{10, 20, 30, 40, 50, 60}));
    ResetProcedure reset(*session_, Setup());
    EXPECT_EQ(reset.viewPose().unmarkedMask, 0xFFFF) << "nothing marked before the first tick";
    PassMarks({0, 2, 5});
    reset.Tick();
    const ArmViewPose& view = reset.viewPose();
    EXPECT_EQ(tuple(reset.state(), reset.markMask(), reset.marksFound(), view.unmarkedMask,
                    view.variantGeometry, ui_.CountOf(Kind::Beep)),
              tuple(ResetProcedure::State::Running, 0b100101u, 3, 0xFFDA, variant == 3, 0u));
    const std::array<double, kArmViewJoints> expected =
        variant == 3 ? std::array<double, kArmViewJoints>{10, 0, 30, -90, 0, 60, 0}
                     : std::array<double, kArmViewJoints>{10, -65, 0, 125, 0, 60, 0};
    for (std::size_t joint = 0; joint < kArmViewJoints; ++joint) {
      EXPECT_NEAR(view.angles[joint], expected[joint], CountDegrees(joint)) << "joint " << joint;
    }
  }
}

TEST_F(ArmDialogsTest, UnpluggingEndsTheResetWithTheMarkQueryStatus) {
  ConnectUnreferenced();
  ui_.SetTickHook([this](int tick) {
    if (tick == 2) arm_->SetPlugged(false);
  });
  const ResetDialogOutcome outcome = session_->dialogs().RunResetDialog(*session_, Setup());
  // -3: the short reply to the mark query.
  EXPECT_EQ(tuple(outcome.ok, outcome.cancelCode, ui_.lastDialogTicks(), session_->link().IsOpen()),
            tuple(false, -3, 3, false));
}

TEST_F(ArmDialogsTest, ResetOpeningShowsTitleLabelsTemperatureAndKeepsItsSize) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  Load(contents, Program::Wizard);
  ResetDialogSetup setup = Setup();
  ResetProcedure wizard(*session_, setup);
  EXPECT_EQ(tuple(wizard.title(), wizard.instruction(), wizard.encoderLabels()),
            tuple("PilvoWIZARD: Reference mark dialog",
                  "Execute the reference mark procedure for the arm.", kSixEncoders));
  EXPECT_FALSE(wizard.temperatureTextShown() || wizard.temperatureChoiceShown() ||
               wizard.probeChoiceShown());
  EXPECT_TRUE(wizard.reduced()) << "reduced without a stored size";
  wizard.Enlarge();
  EXPECT_FALSE(wizard.reduced());

  // The last channel is the table; board 3's third axis without its companion is no joint.
  contents.main.options.tableChannel = true;
  contents.main.options.board3ThirdAxis = true;
  Load(contents);
  setup.temperatureCompensation = true;
  setup.temperatureSensors = 0;
  setup.ambientTemperature = 23;
  ResetProcedure library(*session_, setup);
  EXPECT_FALSE(library.reduced());
  library.Reduce();
  EXPECT_EQ(Stored("ResetResize"), 1u);
  EXPECT_EQ(tuple(library.title(), library.encoderLabels(), library.temperatureText(),
                  library.temperatureChoiceShown(), library.temperatureLines().size(),
                  library.temperatureLine()),
            tuple("Pilvo DLL: Reference mark dialog", kTableEncoders,
                  "Insert the ambient temperature", true, 41u, 23));
  EXPECT_FALSE(library.SelectTemperature(41));
  EXPECT_TRUE(library.SelectTemperature(18));
  library.Cancel();
  EXPECT_FALSE(library.SelectTemperature(19)) << "closed";
  EXPECT_EQ(library.outcome().ambientTemperature, 18);

  setup.temperatureSensors = 1;
  ResetProcedure sensors(*session_, setup);
  EXPECT_FALSE(sensors.SelectTemperature(18));
  EXPECT_EQ(tuple(sensors.temperatureText(), sensors.temperatureTextShown(),
                  sensors.temperatureChoiceShown()),
            tuple("Temperature compensation enabled", true, false));
}

TEST_F(ArmDialogsTest, ResetProbeChoiceRelabelsTheEncoders) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  contents.main.options.board3ThirdAxis = true;
  Load(contents);
  ResetDialogSetup setup = Setup();
  setup.probeManagement = true;
  ResetProcedure empty(*session_, setup);
  EXPECT_EQ(tuple(empty.probeLines(), empty.probeChoiceEnabled(), empty.probeLine(),
                  empty.SelectProbe(0)),
            tuple(Texts{"Factory calibration"}, false, 0, false));

  contents.main.probeCount = 2;
  contents.probes[0] = contents.probes[1] = contents.main;
  contents.probes[0].probeName = "Ball 6 mm";
  contents.probes[1].probeName = "Rotating probe";
  contents.probes[1].options.board3ThirdAxisCompanion = true;
  Load(contents);
  setup.toolInUse = 1;
  ResetProcedure reset(*session_, setup);
  EXPECT_EQ(tuple(reset.probeLines(), reset.probeChoiceEnabled(), reset.probeLine(),
                  reset.encoderLabels().size(), reset.viewPose().rotatingProbe),
            tuple(Texts{"Factory calibration", "Ball 6 mm", "Rotating probe"}, true, 1, 5u, false));
  EXPECT_FALSE(reset.SelectProbe(3));
  ASSERT_TRUE(reset.SelectProbe(2));
  // The probe carries the companion axis, and the view draws it.
  EXPECT_EQ(tuple(state().toolInUse, reset.encoderLabels().size(), reset.viewPose().rotatingProbe),
            tuple(2, 6u, true));
  reset.Cancel();
  EXPECT_EQ(reset.outcome().toolInUse, 2);
}

TEST_F(ArmDialogsTest, TemperatureDialogAnswersFromScriptOrKeepsTheStoredValue) {
  Load(PlainDemoTab("five_joint"));
  EXPECT_EQ(session_->dialogs().RunTemperatureDialog(*session_, 21), 21);
  ui_.ScriptTemperature(23);
  EXPECT_EQ(session_->dialogs().RunTemperatureDialog(*session_, 21), 23);
  EXPECT_EQ(session_->dialogs().RunTemperatureDialog(*session_, 55), 55)
      << "outside the list: nothing selected";
  EXPECT_EQ(tuple(ui_.CountOf(Kind::Temperature), ui_.requests().front().caption,
                  ui_.requests().front().text),
            tuple(3u, "Pilvo DLL: Reference mark dialog", "Insert the ambient temperature"));

  TemperatureChoice choice(55, language());
  EXPECT_EQ(tuple(choice.selectedLine(), choice.lines().front(), choice.lines().back()),
            tuple(-1, "0", "40"));
  EXPECT_FALSE(choice.Select(41));
  EXPECT_TRUE(choice.Select(40)) << "the last line";
  EXPECT_TRUE(choice.Select(0));
  EXPECT_EQ(choice.temperature(), 0);
}

TEST_F(ArmDialogsTest, LimitsWarningLabelsTheJointsFollowsTheReadingsAndKeepsItsSettings) {
  const struct {
    bool insertedAxis, tableChannel;
    Texts labels;
  } cases[] = {{false, false, kSixEncoders},
               {true, false, Texts(kSixEncoders.begin(), kSixEncoders.end() - 1)},
               {true, true, kTableEncoders}};
  for (const auto& test : cases) {
    TabContents contents = PlainDemoTab("serial6_dh_marks");
    contents.main.options.insertedAxis = test.insertedAxis;
    contents.main.options.tableChannel = test.tableChannel;
    Load(contents);
    LimitsWarning warning(context_);
    warning.LabelJoints(state());
    EXPECT_EQ(tuple(warning.title(), warning.jointLabels()),
              tuple("Pilvo3D: Joint limits", test.labels));
  }

  Load(PlainDemoTab("serial6_dh_marks"));
  LimitsWarning first(context_);
  first.LabelJoints(state());
  EXPECT_FALSE(first.enlarged());
  EXPECT_FALSE(first.Update(0b10, std::vector<double>(6, 0.5))) << "silent without audio";
  first.ToggleEnlarged();
  first.ToggleAudio();

  LimitsWarning second(context_);
  second.LabelJoints(state());
  ASSERT_EQ(tuple(second.enlarged(), second.audio()), tuple(true, true));
  // Every update beeps, not only the first; joints beyond the arm's light nothing.
  const std::vector<double> radians{0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
  EXPECT_TRUE(second.Update(0xC4, radians) && second.Update(0xC4, radians));
  EXPECT_EQ(tuple(second.indicatorMask(), second.viewPose().unmarkedMask), tuple(0x04u, 0xC4));
  for (std::size_t joint = 0; joint < radians.size(); ++joint) {
    EXPECT_DOUBLE_EQ(second.viewPose().angles[joint], radians[joint] * 57.29577951308);
  }
  second.ToggleAudio();
  EXPECT_EQ(tuple(Stored("LimitsAudio"), Stored("LimitResize")), tuple(0u, 1u));
}

class AlignmentTest : public ArmDialogsTest {
 protected:
  void SetUp() override {
    ArmDialogsTest::SetUp();
    TabContents contents = PlainDemoTab("serial6_dh_marks");
    contents.main.options.tabSwapByButton = false;
    Connect(contents, Link::Serial);
  }
  // The pose the arm reads at `degrees`.
  Pose PoseAt(const std::vector<double>& degrees) {
    EXPECT_TRUE(arm_->SetJointAngles(degrees));
    EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
    return pose_;
  }
  void HoldButton(bool held, int button = 1) {
    Hold(held ? std::initializer_list<int>{button} : std::initializer_list<int>{});
  }
  AlignmentAcquisition RunDialog(AlignmentVariant variant, bool offerReuse = false) {
    return session_->dialogs().MakeAlignmentDialog(*session_)(variant, offerReuse);
  }
};

const std::vector<double> kPostures[] = {
    {0, 10, 20, 0, 30, 10}, {15, 20, 10, 5, 20, 50}, {-20, 15, 25, 10, 10, 30}};

TEST_F(AlignmentTest, ThreeNewPressesTakeThePointsAndTheReleaseCloses) {
  AlignmentProcedure alignment(*session_, AlignmentVariant::UserFrame, false);
  EXPECT_EQ(tuple(alignment.title(), alignment.cancelLabel(), alignment.reuseShown()),
            tuple("Pilvo.dll: Reference dialog", "Cancel", false));
  // Button 1 by tick: held from the opening, which does not count, then three presses with a
  // long hold; the table angle is that of the last joint.
  const bool held[] = {true, false, true, true, false, true, false, true, true, false};
  const int posture[] = {0, 0, 0, 1, 1, 1, 1, 2, 0, 0};
  Texts prompts;
  for (std::size_t tick = 0; tick < std::size(held); ++tick) {
    ASSERT_TRUE(arm_->SetJointAngles(kPostures[posture[tick]]));
    HoldButton(held[tick]);
    ASSERT_EQ(alignment.state(), AlignmentProcedure::State::Running) << tick;
    alignment.Tick();
    prompts.push_back(alignment.prompt());
  }
  const AlignmentAcquisition taken = alignment.result();
  EXPECT_EQ(tuple(alignment.state(), alignment.pointsTaken(), ui_.CountOf(Kind::Beep), taken.close,
                  taken.errorCode),
            tuple(AlignmentProcedure::State::Ok, 3, 3u, AlignmentClose::Ok, 0));
  EXPECT_EQ(tuple(prompts[1], prompts[2], prompts[5]),
            tuple("MEASURE THE POINT 1", "MEASURE THE POINT 2", "MEASURE THE POINT 3"));

  const Pose first = PoseAt(kPostures[0]);
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(taken.firstPose[i], first[i], 1e-6);
  const Point3 second = PositionOf(PoseAt(kPostures[1]));
  const Point3 third = PositionOf(PoseAt(kPostures[2]));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(taken.second[i], second[i], 1e-6);
    EXPECT_NEAR(taken.third[i], third[i], 1e-6);
    EXPECT_NEAR(taken.tableAngles[i], kPostures[i][5] * kDegreesToRadians,
                CountDegrees(5) * kDegreesToRadians);
  }
}

TEST_F(AlignmentTest, AuxiliaryInputsTakeThePointsWithTheThirdButton) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  contents.main.options.auxiliaryInput1 = true;
  contents.main.options.extraStatus = true;
  Connect(contents, Link::Serial);
  AlignmentProcedure alignment(*session_, AlignmentVariant::UserFrame, false);
  for (const int button : {0, 1, 0, 3}) {
    HoldButton(button != 0, button);
    alignment.Tick();
  }
  EXPECT_EQ(alignment.pointsTaken(), 1) << "button 1 belongs to the auxiliary input";
}

TEST_F(AlignmentTest, ScriptedOperatorRunsTheDialogBetweenArmMoves) {
  ui_.SetTickHook([this](int tick) {
    if (tick / 2 < 3) {
      ASSERT_TRUE(arm_->SetJointAngles(kPostures[tick / 2]));
    }
    HoldButton(tick % 2 == 1);
  });
  const AlignmentAcquisition taken = RunDialog(AlignmentVariant::RotatingTable);
  EXPECT_EQ(tuple(taken.close, ui_.lastDialogTicks(), ui_.CountOf(Kind::Alignment),
                  ui_.requests().front().caption, ui_.requests().front().text),
            tuple(AlignmentClose::Ok, 7, 1u, "Rotanting table reference",
                  "Acquire the three reference points"));
  EXPECT_NEAR(taken.tableAngles[1], 50 * kDegreesToRadians, CountDegrees(5) * kDegreesToRadians);
}

TEST_F(AlignmentTest, ReuseOnlyWhenOfferedAndAReadingErrorClosesWithItsCode) {
  AlignmentProcedure offered(*session_, AlignmentVariant::RotatingTable, true);
  EXPECT_EQ(tuple(offered.reuseShown(), offered.cancelLabel()), tuple(true, "Only arm"));
  ui_.ScriptAlignment({.ticks = 0, .end = DialogRun::End::Reuse});
  EXPECT_EQ(RunDialog(AlignmentVariant::RotatingTable, true).close, AlignmentClose::Reuse);
  ui_.ScriptAlignment({.ticks = 0, .end = DialogRun::End::Reuse});
  EXPECT_EQ(RunDialog(AlignmentVariant::RotatingTable).close, AlignmentClose::Cancel);
  ui_.ScriptAlignment({.ticks = 3});
  EXPECT_EQ(RunDialog(AlignmentVariant::UserFrame).errorCode, 0) << "cancelled";

  ui_.Clear();
  ui_.SetTickHook([this](int tick) {
    HoldButton(tick == 1);
    if (tick == 3) arm_->SetPlugged(false);
  });
  const AlignmentAcquisition taken = RunDialog(AlignmentVariant::UserFrame);
  // -2: the short serial reply; the beep: the point taken before.
  EXPECT_EQ(tuple(taken.close, taken.errorCode, ui_.lastDialogTicks(), ui_.CountOf(Kind::Beep)),
            tuple(AlignmentClose::Cancel, -2, 4, 1u));
}

TEST_F(ArmDialogsTest, ConsoleOperatorCancelsAtTheTimeOutOrFollowsTheArmToTheEnd) {
  ConnectUnreferenced();
  PassMarks({1});
  std::ostringstream out;
  ConsoleOperator console(out, std::chrono::milliseconds(150));
  ResetProcedure reset(*session_, Setup());
  console.RunResetDialog(reset);
  AlignmentProcedure alignment(*session_, AlignmentVariant::UserFrame, false);
  console.RunAlignmentDialog(alignment);
  TemperatureChoice choice(24, language());
  console.RunTemperatureDialog(choice);
  EXPECT_EQ(tuple(reset.state(), reset.resultCode(), alignment.result().close, choice.closed(),
                  choice.temperature()),
            tuple(ResetProcedure::State::Cancelled, 0, AlignmentClose::Cancel, true, 24));
  console.Beep();
  for (const char* line :
       {"Mark status: ENCODER 2\n", "no answer within 150 ms: Cancel", "MEASURE THE POINT 1\n"}) {
    EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
  }
  EXPECT_NE(out.str().back(), '\a') << "no bell unless asked";

  PassMarks({0, 2, 3, 4, 5});
  ConsoleOperator bell(out, std::chrono::milliseconds(5000), true);
  ResetProcedure marked(*session_, Setup());
  bell.RunResetDialog(marked);
  EXPECT_EQ(marked.state(), ResetProcedure::State::Ok);
  EXPECT_NE(out.str().find("every reference mark found"), std::string::npos) << out.str();
  bell.Beep();
  EXPECT_EQ(out.str().back(), '\a');
}

TEST(OperatorScriptTest, EveryKindOfAnswerIsTakenInOrderAndBadLinesAreNamed) {
  std::istringstream text(
      "# answers\n"
      "yes\n  no  \n\nchoice 2\nchoice cancel\nfile /tmp/a b.tab\nfile cancel\n"
      "temperature 23\nreset run 5\nreset cancel\nalignment reuse\nalignment run 7\n");
  std::string error;
  const auto script = ParseOperatorScript(text, error);
  ASSERT_TRUE(script) << error;
  EXPECT_EQ(tuple(script->answers, script->choices, script->files, script->temperatures),
            tuple(std::vector<bool>{true, false},
                  std::vector<std::optional<std::size_t>>{2, std::nullopt},
                  std::vector<std::optional<std::filesystem::path>>{"/tmp/a b.tab", std::nullopt},
                  std::vector<std::int32_t>{23}));
  ASSERT_EQ(tuple(script->resets.size(), script->alignments.size()), tuple(2u, 2u));
  EXPECT_EQ(tuple(script->resets[0].ticks, script->resets[1].ticks, script->alignments[0].end,
                  script->alignments[1].ticks),
            tuple(5, 0, DialogRun::End::Reuse, 7));

  ScriptedOperator ui;
  ui.AddScript(*script);
  // The last No: the script is exhausted.
  const bool yes = ui.AskYesNo("?", "c"), no = ui.AskYesNo("?", "c"), none = ui.AskYesNo("?", "c");
  EXPECT_EQ(tuple(yes, no, none, ui.ChooseFromList("t", {"a", "b", "c"})),
            tuple(true, false, false, 2u));

  for (const char* bad :
       {"maybe", "yes please", "choice -1", "choice", "temperature 41", "temperature 2x",
        "reset reuse", "reset run", "alignment run -3", "file"}) {
    std::istringstream lines(std::string("yes\n") + bad + "\n");
    EXPECT_FALSE(ParseOperatorScript(lines, error)) << bad;
    EXPECT_EQ(error.rfind("line 2 not understood", 0), 0u) << error;
  }
}

TEST(OperatorChoiceTest, EnvironmentSelectsTheOperator) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("operator_choice_" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file) << "yes\n";
  ::setenv("PILVO_OPERATOR", ("script:" + file.string()).c_str(), 1);
  auto scripted = MakeOperatorFromEnvironment();
  ASSERT_NE(dynamic_cast<ScriptedOperator*>(scripted.get()), nullptr);
  EXPECT_TRUE(scripted->AskYesNo("?", "c"));
  // A bad script, a missing one, a window asked for without a display, nothing asked for.
  std::ofstream(file) << "perhaps\n";
  EXPECT_NE(dynamic_cast<ConsoleOperator*>(MakeOperatorFromEnvironment().get()), nullptr);
  std::filesystem::remove(file);
  EXPECT_NE(dynamic_cast<ConsoleOperator*>(MakeOperatorFromEnvironment().get()), nullptr);
  ::setenv("PILVO_OPERATOR", "window", 1);
  EXPECT_NE(dynamic_cast<ConsoleOperator*>(MakeOperatorFromEnvironment().get()), nullptr);
  ::unsetenv("PILVO_OPERATOR");
  EXPECT_NE(dynamic_cast<ConsoleOperator*>(MakeOperatorFromEnvironment().get()), nullptr);
}

// The 3-D view's scene, checked where each solid lands in the eye's frame.
std::array<double, 3> CentreOf(const ScenePrimitive& solid) {
  return {solid.transform[12], solid.transform[13], solid.transform[14]};
}

TEST(ArmSceneTest, StandardArmStandsOnTheFloorTheVariantHangsFromItsBase) {
  struct Case {
    bool variant;
    double baseY;   // the base's centre, 0.15 from its foot, 3.0 below or above the eye
    double baseUp;  // the base's y axis along the eye's
    int floors;
  };
  for (const Case test : {Case{false, -2.85, 1.0, 1}, Case{true, 2.85, -1.0, 0}}) {
    SCOPED_TRACE(test.variant);
    const auto scene = BuildArmScene({.variantGeometry = test.variant});
    const auto floors = std::ranges::count(scene, SceneMaterial::Floor, &ScenePrimitive::material);
    ASSERT_EQ(floors, test.floors);
    if (test.floors > 0) {
      // The plate lies 3.0 x 0.15 x 3.0 below the base, turned 45 degrees about the vertical.
      const ScenePrimitive& floor = scene.front();
      EXPECT_EQ(floor.size, (std::array{3.0, 0.15, 3.0}));
      EXPECT_NEAR(floor.transform[0], std::sqrt(0.5), 1e-12);
      EXPECT_NEAR(CentreOf(floor)[1], -3.075, 1e-12);
    }
    const ScenePrimitive& base = scene[floors];
    EXPECT_EQ(base.size, (std::array{1.2, 1.2, 0.3}));
    const std::array centre = CentreOf(base);
    const std::array expected{0.0, test.baseY, -12.5, test.baseUp};
    const std::array actual{centre[0], centre[1], centre[2], base.transform[5]};
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12);
  }
}

TEST(ArmSceneTest, AJointAngleMovesOnlyTheSolidsFromThatJointOn) {
  const ArmViewPose rest{.rotatingProbe = true};
  const auto before = BuildArmScene(rest);
  for (int joint = 0; joint < kArmViewJoints; ++joint) {
    SCOPED_TRACE(joint);
    ArmViewPose turned = rest;
    turned.angles[joint] = 30;
    const auto after = BuildArmScene(turned);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      const bool moved =
          !std::ranges::equal(before[i].transform, after[i].transform,
                              [](double a, double b) { return std::abs(a - b) < 1e-9; });
      EXPECT_EQ(moved, before[i].joint >= joint) << "solid " << i;
    }
  }
}

TEST(ArmSceneTest, JointSevenTurnsTheStylusOnlyWithTheRotatingProbe) {
  struct Case {
    bool rotatingProbe;
    double angle;
    int stylusJoint;
    double tipX;  // the arm points at the eye; the stylus tip 0.8 along it swings sideways
  };
  for (const Case test :
       {Case{false, 90, 5, 0.0}, Case{true, 90, 6, 0.8}, Case{true, -90, 6, -0.8}}) {
    SCOPED_TRACE(test.angle);
    const auto scene = BuildArmScene(
        {.angles = {0, 0, 0, 0, 0, 0, test.angle}, .rotatingProbe = test.rotatingProbe});
    EXPECT_EQ(tuple(scene.back().joint, scene[scene.size() - 2].joint),
              tuple(test.stylusJoint, test.stylusJoint));
    EXPECT_NEAR(CentreOf(scene.back())[0], test.tipX, 1e-9);
  }
}

TEST(ArmSceneTest, WarningMaterialExactlyOnTheUnmarkedJoints) {
  struct Case {
    std::uint16_t unmarkedMask;
    bool rotatingProbe;
    int warnings;
  };
  for (const Case test :
       {Case{0, true, 0}, Case{0xFFFF, true, 10}, Case{0x0008, false, 1}, Case{0x0040, false, 0},
        Case{0x0040, true, 2}, Case{0x0020, true, 0}, Case{0x0020, false, 2}}) {
    SCOPED_TRACE(::testing::Message() << test.unmarkedMask << " " << test.rotatingProbe);
    const auto scene =
        BuildArmScene({.unmarkedMask = test.unmarkedMask, .rotatingProbe = test.rotatingProbe});
    int warnings = 0;
    for (const ScenePrimitive& solid : scene) {
      const bool unmarked = solid.joint >= 0 && (test.unmarkedMask >> solid.joint & 1u) != 0;
      EXPECT_EQ(solid.material == SceneMaterial::Warning, unmarked);
      warnings += unmarked ? 1 : 0;
    }
    EXPECT_EQ(warnings, test.warnings);
  }
}

}  // namespace
}  // namespace pilvo
