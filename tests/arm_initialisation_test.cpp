// The arm initialisation and the reference-mark query against the virtual arm within this
// process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "data/settings.h"
#include "session/arm_initialisation.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

using testing::Link;
using testing::PlainDemoTab;
using Kind = ScriptedOperator::Request::Kind;

// USB commands whose replies the tests spoil.
constexpr std::uint8_t kProbeModeCommand = 0x33;
constexpr std::uint8_t kAcknowledgeCommand = 0x35;
constexpr std::uint8_t kTemperatureCalibrationCommand = 0x41;

class InitialisationTest : public testing::SimSessionTest {
 protected:
  InitialisationTest() { wire_ = testing::Wire::InProcess; }
  int Initialise(InitialiseMode mode = InitialiseMode::Reset) {
    return InitialiseArm(*session_, mode);
  }
  bool Connected() const { return session_->link().IsOpen(); }
  std::vector<ScriptedOperator::Request> Messages() const {
    std::vector<ScriptedOperator::Request> messages;
    std::copy_if(ui_.requests().begin(), ui_.requests().end(), std::back_inserter(messages),
                 [](const auto& request) { return request.kind == Kind::Message; });
    return messages;
  }
  int Marks(std::uint32_t& mask) { return LeggeTacche(*session_, mask); }
};

TEST_F(InitialisationTest, UsbBoardThatKeptItsReferenceNeedsNoReset) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.options.resetDialog = true;
  Connect(contents, Link::Usb);
  ASSERT_EQ(Initialise(), 0);
  EXPECT_TRUE(state().armReady);
  EXPECT_EQ(session_->board().firmwareCode(), 15);
  // The board's own thresholds were zero: the record's are written to it.
  const auto& wanted = state().working.supplyThresholdBytes;
  const auto stored = arm_->snapshot().thresholds;
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), wanted.begin()));
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(ui_.CountOf(Kind::Connected), 1u);
  EXPECT_EQ(ui_.requests().back().text.rfind("Pilvo3D ", 0), 0u);

  Pose pose{};
  std::int32_t status = 0;
  EXPECT_EQ(session_->LeggeQuota(pose, status), 0);
}

// Faults: a failed temperature calibration, or a bad reply to the probe mode, closed the link (the
// acknowledge that follows the probe mode was then never sent) and the reset still answered 0.
// The acknowledge itself is checked.
TEST_F(InitialisationTest, OnlyTheAcknowledgeOfTheResetIsChecked) {
  const struct {
    std::optional<sim::Fault> fault;
    std::uint8_t command;
    int result;
  } cases[] = {{std::nullopt, 0, 0},
               {sim::Fault::Silence, kTemperatureCalibrationCommand, 0},
               {sim::Fault::WrongEcho, kTemperatureCalibrationCommand, 0},
               {sim::Fault::Silence, kProbeModeCommand, 0},
               {sim::Fault::ShortReply, kProbeModeCommand, 0},
               {sim::Fault::WrongEcho, kProbeModeCommand, 0},
               {sim::Fault::WrongEcho, kAcknowledgeCommand, initialise_result::kLinkFailed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault ? static_cast<int>(*c.fault) * 256 + c.command : -1);
    TabContents contents = PlainDemoTab("usb6_quaternion");
    contents.main.options.probeMode = true;
    contents.main.options.auxiliaryInput0 = true;
    Connect(contents, Link::Usb);
    if (c.fault) {
      ASSERT_TRUE(arm_->InjectFault(*c.fault, 1, c.command));
    }
    EXPECT_EQ(Initialise(), c.result);
    const bool ready = c.result == 0;
    EXPECT_EQ(Connected(), ready);
    EXPECT_EQ(state().armReady, ready);
    EXPECT_EQ(state().tabLoaded, ready);
    EXPECT_EQ(ui_.CountOf(Kind::Disconnected), ready ? 0u : 1u);
    EXPECT_EQ(arm_->observations().probeModeByte, 2);
    EXPECT_EQ(arm_->observations().acknowledgedInputs, std::vector<int>{0});
    if (c.command == kTemperatureCalibrationCommand) {
      EXPECT_EQ(session_->board().temperatureGains(), TemperatureGains{});
    }
  }
}

TEST_F(InitialisationTest, TabFileOfAnotherArmIsReportedButTheArmIsInitialised) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.name = "AB";
  armOptions_.identifier = "ZZ9Z";
  Connect(contents, Link::Usb);
  ASSERT_EQ(Initialise(), 0);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, std::string("TAB file (AB) not correct for the arm  ZZ9Z"));
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(state().armReady);
}

TEST_F(InitialisationTest, FailedIdentityQueryLeavesFirmwareZeroAndTheLinkClosed) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  ASSERT_EQ(session_->link().OpenArmPort(), 0);
  session_->board().SetFirmwareCode(15);
  ASSERT_TRUE(arm_->InjectFault(sim::Fault::Silence));
  EXPECT_EQ(Initialise(), initialise_result::kLinkFailed);
  EXPECT_EQ(session_->board().firmwareCode(), 0);
  EXPECT_FALSE(Connected());
  EXPECT_EQ(Initialise(), 0);
}

TEST_F(InitialisationTest, ConnectClearsTheFramesAndWritesTheWrapWindowForTheNextRun) {
  Connect(PlainDemoTab("serial6_dh_marks"), Link::Serial);
  state().frames.frameActive = true;
  state().frames.frameOffset = {1.0, 2.0, 3.0};
  state().frames.tableAligned = true;
  state().tables.offsets[0] = 12345;
  ASSERT_EQ(Initialise(InitialiseMode::Connect), 0);
  EXPECT_FALSE(state().frames.frameActive);
  EXPECT_EQ(state().frames.frameOffset, (std::array<double, 3>{}));
  EXPECT_FALSE(state().frames.tableAligned);
  EXPECT_EQ(state().tables.offsets, state().working.encoderOffsets);
  // The first run measures without the wrap window it writes, the next with it.
  EXPECT_EQ(session_->board().wrapWindow(), 0);
  EXPECT_EQ(GetSettingInt("UNIDIREZIONALE", "Valore", 0, session_->profileStore()), 5000u);
  ASSERT_EQ(Initialise(InitialiseMode::Connect), 0);
  EXPECT_EQ(session_->board().wrapWindow(), 5000);
}

// Reading the marks switches the serial board to its latched counters, which hold the counts
// without the power-on shift from then on.
TEST_F(InitialisationTest, SerialMarksOfSixJointsSwitchToTheLatchedCounters) {
  armOptions_.referenced = false;
  Connect(PlainDemoTab("serial6_dh_marks"), Link::Serial);
  ASSERT_TRUE(arm_->SetPowerOnShift(0, 777));
  ASSERT_TRUE(arm_->SetJointAngle(0, 10.0));
  ASSERT_EQ(Initialise(InitialiseMode::Connect), 0);
  std::uint32_t mask = 0xDEAD;
  EXPECT_EQ(Marks(mask), 0);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(session_->board().serialRequest().offset, kLatchedRegisterOffset);
  PassMarks({0, 2, 3, 4, 5});
  EXPECT_EQ(Marks(mask), 0);
  EXPECT_EQ(mask, 0b111101u);
  PassMarks({1});
  EXPECT_EQ(Marks(mask), 1);
  EXPECT_EQ(mask, 63u);
  EXPECT_EQ(session_->board().serialRequest().offset, kLatchedRegisterOffset);
  CountList counts{};
  ASSERT_EQ(session_->board().ReadArmCounts(counts), 0);
  EXPECT_TRUE(session_->board().countsFresh());
  const ArmRecord& arm = state().working;
  EXPECT_EQ(session_->board().jointValues()[0], std::round(10.0 * arm.encoderLines[0] / 90.0));
  // Commands of USB boards only.
  EXPECT_EQ(session_->board().AcknowledgeInput(0), 0);
  ArmIdentity identity;
  EXPECT_EQ(session_->board().QueryArmIdentity(identity), board::kLinkClosed);
  EXPECT_EQ(session_->board().ConfigureBoards(), board::kNeedsUsb);

  ASSERT_TRUE(arm_->InjectFault(sim::Fault::ShortReply));
  EXPECT_EQ(Marks(mask), board::kShortMarkReply);
  EXPECT_FALSE(Connected());
}

TEST_F(InitialisationTest, UsbMarksNeedTheirOptionConfirmTheProbeModeAndFollowTheInsertedAxis) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  Connect(contents, Link::Usb);
  for (const bool initialised : {false, true}) {
    if (initialised) {
      ASSERT_EQ(Initialise(InitialiseMode::Connect), 0);
    }
    std::uint32_t mask = 77;
    EXPECT_EQ(Marks(mask), -2) << "with or without a link";
    EXPECT_EQ(mask, 77u);
  }

  contents.main.options.referenceMarks = true;
  armOptions_.referenced = false;
  Connect(contents, Link::Usb);
  ASSERT_EQ(session_->link().OpenArmPort(), 0);
  std::uint32_t mask = 0;
  PassMarks({0, 2, 4});
  EXPECT_EQ(Marks(mask), 0);
  EXPECT_EQ(mask, 0b10101u);
  const auto before = arm_->observations().probeModeByte;
  PassMarks({1, 3, 5});
  EXPECT_EQ(Marks(mask), 1);
  EXPECT_EQ(mask, 63u);
  EXPECT_NE(arm_->observations().probeModeByte, before);

  ASSERT_TRUE(arm_->InjectFault(sim::Fault::WrongEcho));
  EXPECT_EQ(Marks(mask), board::kUsbBadReply);
  EXPECT_FALSE(Connected());

  // A fixed joint 2 inserted: counted axes 0 … 4 are joints 0, 1, 3, 4, 5, and joint 2 shows
  // counted axis 2 too.
  contents.main.options.insertedAxis = true;
  contents.main.board1Axes = 5;
  Connect(contents, Link::Usb);
  ASSERT_EQ(session_->link().OpenArmPort(), 0);
  PassMarks({3});
  EXPECT_EQ(Marks(mask), 0);
  EXPECT_EQ(mask, 0b001100u);
  PassMarks({0, 1, 4, 5});
  EXPECT_EQ(Marks(mask), 1);
  EXPECT_EQ(mask, 63u);
}

TEST_F(InitialisationTest, AmbientTemperatureIsAskedOnResetOnlyAndKept) {
  TabContents contents = PlainDemoTab("five_joint");
  contents.main.options.temperatureCompensation = true;
  contents.main.temperatureSensors = 0;
  contents.main.options.resetDialog = true;
  Connect(contents, Link::Serial);
  state().working.ambientTemperature = 19;
  ASSERT_EQ(Initialise(InitialiseMode::Connect), 0);  // no dialog
  EXPECT_EQ(state().working.ambientTemperature, 19);
  EXPECT_TRUE(state().armReady);
  EXPECT_TRUE(Messages().empty());

  contents.main.options.resetDialog = false;
  Connect(contents, Link::Serial);
  ui_.ScriptTemperature(23);
  ASSERT_EQ(Initialise(), 0);
  EXPECT_EQ(ui_.CountOf(Kind::Temperature), 1u);
  EXPECT_EQ(state().working.ambientTemperature, 23);
  EXPECT_EQ(GetSettingInt("TEMPERATURA", "Ambiente", 0, session_->profileStore()), 23u);
  // The next reset offers the stored value again.
  ASSERT_EQ(Initialise(), 0);
  EXPECT_EQ(state().working.ambientTemperature, 23);
}

TEST_F(InitialisationTest, ResetDialogEndsWithTheMarksAndStoresTheOperatorsChoices) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  ASSERT_TRUE(contents.main.options.resetDialog && contents.main.options.referenceMarks);
  contents.main.options.temperatureCompensation = true;
  contents.main.temperatureSensors = 0;
  armOptions_.referenced = false;
  Connect(contents, Link::Serial);
  WriteSettingInt("TEMPERATURA", "Ambiente", 18, session_->profileStore());
  ui_.SetTickHook([this](int tick) {
    if (tick == 2) {
      for (int joint = 0; joint < 6; ++joint) arm_->PassReferenceMark(joint);
    }
  });
  ASSERT_EQ(Initialise(), 0);
  EXPECT_EQ(ui_.lastDialogTicks(), 3);
  EXPECT_EQ(ui_.CountOf(Kind::Beep), 1u);
  EXPECT_EQ(ui_.requests().front().caption, "Pilvo DLL: Reference mark dialog");
  EXPECT_EQ(state().working.ambientTemperature, 18);
  EXPECT_TRUE(state().armReady);
  EXPECT_TRUE(Connected());
  // The readings that follow use the latched counters of the marks.
  EXPECT_EQ(session_->board().serialRequest().offset, 12);
}

// Fault: OK in the reset dialog stored the 0 of an arm whose temperature nobody types over the
// stored one.
TEST_F(InitialisationTest, ResetDialogStoresTheProbeChosenButNoUntypedTemperature) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.options.referenceMarks = true;
  contents.main.options.temperatureCompensation = true;
  ASSERT_NE(contents.main.temperatureSensors, 0);
  ASSERT_GE(contents.main.probeCount, 2);
  armOptions_.referenced = false;
  Connect(contents, Link::Usb);
  WriteSettingInt("TEMPERATURA", "Ambiente", 23, session_->profileStore());
  ui_.SetTickHook([this](int tick) {
    if (tick == 1) state().toolInUse = 2;  // as the dialog's probe box does
    if (tick == 2) PassMarks({0, 1, 2, 3, 4, 5});
  });
  ASSERT_EQ(Initialise(), 0);
  EXPECT_EQ(GetSettingInt("TEMPERATURA", "Ambiente", 0, session_->profileStore()), 23u);
  EXPECT_EQ(state().working.ambientTemperature, 23);
  EXPECT_EQ(GetSettingInt("Tools", "toolInUse", 0, context_.installationStore()), 2u);
  EXPECT_EQ(state().working.probeName, state().tab.probes[1].probeName);
  ASSERT_EQ(ui_.CountOf(Kind::Connected), 1u);
  EXPECT_TRUE(ui_.requests().back().text.ends_with("\n" + state().tab.probes[1].probeName))
      << "the tray's tooltip names the probe chosen";
}

}  // namespace
}  // namespace pilvo
