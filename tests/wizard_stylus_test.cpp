// The stylus length procedures over the in-process virtual arm: the manual length and the
// calibration on a reference plane, both writing a new TAB file beside the one in use.
#include <gtest/gtest.h>

#include "data/number_text.h"
#include "sim_session_fixture.h"
#include "wizard/model/stylus_calibration.h"
#include "wizard/model/stylus_length.h"

namespace pilvo::wizard {
namespace {

constexpr char kSameName[] = "The name of the two TAB files is the same.";

// What the procedures may change, the same in both records.
void ExpectSameStylusData(const ArmRecord& a, const ArmRecord& b) {
  EXPECT_EQ(a.parameters, b.parameters);
  EXPECT_EQ(a.encoderOffsets, b.encoderOffsets);
  EXPECT_EQ(a.probeCount, b.probeCount);
}

class StylusTest : public testing::SimSessionTest {
 protected:
  void Open(const std::string& arm, bool referenceMarks = true) {
    wire_ = testing::Wire::InProcess;
    TabContents contents = testing::PlainDemoTab(arm);
    contents.main.options.referenceMarks = referenceMarks;
    Connect(contents, testing::Link::Usb, Program::Wizard);
    ASSERT_TRUE(arm_->SetJointAngles(std::vector<double>{10, 20, 30, 40, 50, 60}));
  }
  SaveTabChooser Chooser() {
    return [this](const std::string&, const std::filesystem::path&) { return saveAs_; };
  }
  // The last message after the first `before` requests, if any.
  std::string LastMessage(std::size_t before = 0) const {
    return ui_.requests().size() > before ? ui_.requests().back().text : "";
  }
  TabContents Written() const {
    TabContents contents;
    const auto bytes = ReadWholeFile(folder_ / "new.tab");
    EXPECT_TRUE(bytes && ParseTabFile(*bytes, contents) == TabError::None);
    return contents;
  }
  double Z() {
    EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
    return pose_[11];
  }
  // A touching step activated, button 1 pressed on one tick.
  void Touch(StylusCalibration& procedure, StylusStep step) {
    procedure.Activate(step);
    Hold({});
    ASSERT_TRUE(procedure.Tick());
    EXPECT_FALSE(procedure.display().next) << "Next waits for button 1";
    Hold({1});
    ASSERT_TRUE(procedure.Tick());
    Hold({});
  }

  std::optional<std::filesystem::path> saveAs_;
};

TEST_F(StylusTest, ManualLengthChangesOnlyTheStylusLengthOfTheNewFile) {
  // A Denavit-Hartenberg chain keeps it at 4N, a six-parameter chain at 6N + 5.
  for (const auto& [arm, index] : {std::pair{"serial6_dh_marks", 24}, {"usb6_quaternion", 41}}) {
    SCOPED_TRACE(arm);
    Open(arm);
    state().tab.main.probeCount = 2;
    const TabContents loaded = state().tab;
    ASSERT_EQ(StylusLengthIndex(loaded.main), static_cast<std::size_t>(index));
    StylusLength manual(*session_, Chooser());

    saveAs_ = folder_ / "new.tab";
    ASSERT_TRUE(manual.Accept("18"));
    EXPECT_EQ(manual.newTabPath(), folder_ / "new.tab");
    const ArmRecord written = Written().main;
    EXPECT_TRUE(written.parameters == loaded.main.parameters && written.probeCount == 0);
    ExpectSameStylusData(state().tab.main, loaded.main);

    manual.ChooseStylus(StandardStylus::M8);
    ASSERT_TRUE(manual.Accept(" 50.5 "));
    auto expected = loaded.main.parameters;
    expected[index] = static_cast<float>(expected[index] + 5.5);
    EXPECT_EQ(Written().main.parameters, expected);
  }
}

TEST_F(StylusTest, ManualLengthKeepsTheDialogOpenOnWhatItCannotWrite) {
  Open("serial6_dh_marks");
  StylusLength manual(*session_, Chooser());
  const std::filesystem::path inUse = state().tabPath;
  const struct {
    std::string typed;
    std::optional<std::filesystem::path> file;
    std::string message;
  } cases[] = {
      {"18,5", folder_ / "new.tab", "Please enter a number."},
      {"-1", folder_ / "new.tab", "Please enter a number."},
      {"18", std::nullopt, ""},  // Cancel in the save dialog
      {"18", inUse, kSameName},
      {"18", inUse.parent_path() / "." / inUse.filename(), kSameName},
      {"18", folder_ / "missing" / "new.tab", "Errore in Salva TAB"},
      {"1e300", folder_ / "new.tab", "Errore in Salva TAB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed + " " + c.file.value_or("(cancel)").string());
    const std::size_t before = ui_.requests().size();
    saveAs_ = c.file;
    EXPECT_FALSE(manual.Accept(c.typed));
    EXPECT_EQ(LastMessage(before), c.message);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "new.tab"));
  }
  ExpectSameStylusData(OnDisk().main, state().tab.main);
}

TEST_F(StylusTest, ReferencePlaneLiesOneBallRadiusBelowTheTouchedCentre) {
  Open("usb6_quaternion");
  for (const auto& [type, below] : {std::pair{StylusType::Sphere, 2.0}, {StylusType::Tip, 0.0}}) {
    StylusCalibration procedure(*session_, Chooser());
    Touch(procedure, StylusStep::ReferencePlane);
    EXPECT_EQ(procedure.display().height, FixedText(Z(), 2));
    EXPECT_FALSE(procedure.Next({type, "2,0"}));
    EXPECT_TRUE(procedure.Next({type, "2.0"}));
    EXPECT_DOUBLE_EQ(procedure.planeHeightOld(), Z() - below);
  }
}

TEST_F(StylusTest, HeldButtonKeepsTakingTheHeightAndReactivationForgetsIt) {
  Open("usb6_quaternion");
  StylusCalibration procedure(*session_, Chooser());
  Touch(procedure, StylusStep::NewStylus);
  Hold({1});
  for (const double angle : {25.0, 35.0}) {
    ASSERT_TRUE(arm_->SetJointAngle(1, angle));
    ASSERT_TRUE(procedure.Tick());
    EXPECT_DOUBLE_EQ(procedure.planeHeightNew(), Z());
  }
  const double held = procedure.planeHeightNew();
  Hold({});
  ASSERT_TRUE(arm_->SetJointAngle(1, 45.0));
  ASSERT_TRUE(procedure.Tick());
  EXPECT_EQ(procedure.planeHeightNew(), held);

  procedure.Activate(StylusStep::NewStylus);
  EXPECT_TRUE(!procedure.display().next && procedure.display().height.empty());
  EXPECT_FALSE(procedure.Next({StylusType::Tip, "2"}));
}

TEST_F(StylusTest, FailedReadingCancelsWithMinusOne) {
  for (const StylusStep step : {StylusStep::ReferencePlane, StylusStep::RestPosition}) {
    Open("usb6_quaternion", false);
    StylusCalibration procedure(*session_, Chooser());
    procedure.Activate(step);
    ASSERT_TRUE(procedure.Tick() && procedure.result() == 0);
    arm_->InjectFault(sim::Fault::Silence, sim::kUntilCleared);
    EXPECT_FALSE(procedure.Tick());
    EXPECT_EQ(procedure.result(), -1);
  }
}

TEST_F(StylusTest, ArmResetAtRestGetsItsRestCountsAndTheNewStylusLength) {
  Open("serial6_dh_marks", false);
  const TabContents loaded = state().tab;
  StylusCalibration procedure(*session_, Chooser());
  EXPECT_EQ(procedure.steps(), (std::vector{StylusStep::ReferencePlane, StylusStep::RestPosition,
                                            StylusStep::NewStylus, StylusStep::Confirmation}));
  Touch(procedure, StylusStep::ReferencePlane);
  ASSERT_TRUE(procedure.Next({StylusType::Tip, "2"}));
  const double old = procedure.planeHeightOld();

  procedure.Activate(StylusStep::RestPosition);
  EXPECT_EQ(procedure.display().offsets[2], std::to_string(loaded.main.encoderOffsets[2]));
  ASSERT_TRUE(procedure.Tick());
  ASSERT_TRUE(procedure.Next({}));
  const CountList rest = state().rawCounts;
  EXPECT_EQ(procedure.restCounts(), rest);
  EXPECT_EQ(procedure.display().restCounts[5], std::to_string(rest[5]));
  ASSERT_NE(rest[3], 0);

  ASSERT_TRUE(arm_->SetJointAngle(2, 35.0));
  Touch(procedure, StylusStep::NewStylus);
  const double touched = Z();
  EXPECT_FALSE(procedure.Next({StylusType::None, "1.5"}));
  EXPECT_EQ(LastMessage(), "Select the correct stylus");
  saveAs_ = state().tabPath;
  EXPECT_FALSE(procedure.Next({StylusType::Sphere, "1.5"}));
  EXPECT_EQ(LastMessage(), kSameName);
  saveAs_ = folder_ / "new.tab";
  ASSERT_TRUE(procedure.Next({StylusType::Sphere, "1.5"}));

  procedure.Activate(StylusStep::Confirmation);
  EXPECT_EQ(procedure.display().originalFile + "|" + procedure.display().modifiedFile,
            state().tabPath + "|" + (folder_ / "new.tab").string());
  EXPECT_TRUE(procedure.display().finish);
  procedure.Finish();

  const ArmRecord written = Written().main;
  auto offsets = loaded.main.encoderOffsets;
  for (int joint = 0; joint < kMaxJoints; ++joint) offsets[joint] += rest[joint];
  offsets[0] = 0;
  EXPECT_EQ(written.encoderOffsets, offsets);
  const std::size_t index = *StylusLengthIndex(loaded.main);
  EXPECT_FLOAT_EQ(written.parameters[index],
                  static_cast<float>(loaded.main.parameters[index] - old + touched - 1.5));
  // The data in use stays as the file in use holds it.
  ExpectSameStylusData(state().tab.main, loaded.main);
  ExpectSameStylusData(OnDisk().main, loaded.main);
}

TEST_F(StylusTest, ArmWithReferenceMarksSkipsTheRestPositionAndKeepsItsOffsets) {
  Open("usb6_quaternion", true);
  const TabContents loaded = state().tab;
  StylusCalibration procedure(*session_, Chooser());
  EXPECT_EQ(procedure.steps(), (std::vector{StylusStep::ReferencePlane, StylusStep::NewStylus,
                                            StylusStep::Confirmation}));
  Touch(procedure, StylusStep::ReferencePlane);
  ASSERT_TRUE(procedure.Next({StylusType::Sphere, "2"}));
  Touch(procedure, StylusStep::NewStylus);
  saveAs_ = folder_ / "new.tab";
  ASSERT_TRUE(procedure.Next({StylusType::Tip, "2"}));
  procedure.Activate(StylusStep::Confirmation);
  procedure.Finish();
  const ArmRecord written = Written().main;
  EXPECT_TRUE(written.encoderOffsets == loaded.main.encoderOffsets && written.probeCount == 0);
  const std::size_t index = *StylusLengthIndex(loaded.main);
  EXPECT_FLOAT_EQ(written.parameters[index], loaded.main.parameters[index] + 2.0f);
}

}  // namespace
}  // namespace pilvo::wizard
