// The position reading of an arm session against the virtual arm within this process: poses
// against the arm's own kinematics, the status word, the joint limits, the TAB swap, the joint
// views and what observers hear; and the reading over a real pseudo-terminal allocating nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "allocation_counter.h"
#include "data/settings.h"
#include "measure/reading_plausibility.h"
#include "pose_expectations.h"
#include "session/arm_initialisation.h"
#include "session/session_observer.h"
#include "sim/forward_kinematics.h"
#include "sim/motions.h"
#include "sim_session_fixture.h"

namespace pilvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedOperator::Request::Kind;

// As a client's session reads: over the devices.
using DeviceReadingTest = SimSessionTest;

bool SameTab(const TabContents& a, const TabContents& b) {
  return a.main == b.main && a.probes == b.probes && a.version == b.version;
}

class ReadingTest : public SimSessionTest {
 protected:
  ReadingTest() { wire_ = Wire::InProcess; }
  // The readings follow the arm along a sweep of the workspace.
  void ExpectTruthAlong(std::uint32_t seed, int steps, const sim::ArmSurroundings& around = {}) {
    for (const sim::MotionStep& step : sim::WorkspaceSweep(state().working, seed, steps, around)) {
      ASSERT_TRUE(sim::ApplyStep(*arm_, step));
      ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
      ExpectSamePose(pose_, step.pose);
    }
  }
};

// Fault: the temperatures a board did not give were taken as -60 degrees, a tip some 0.1 mm off.
TEST_F(ReadingTest, TemperaturesTheBoardDidNotGiveAreTheAmbientOne) {
  ASSERT_TRUE(WriteSettingInt("TEMPERATURA", "Ambiente", 26, Store(kLibraryProfileStore)));
  const double gain = (9.615 - 1000 * 0.0067) / 1024;  // the virtual arm's calibration
  const struct {
    const char* why;
    Link link;
    bool calibrated;
    double boardCelsius;
    bool sensorsOff = false;
  } cases[] = {{"serial board", Link::Serial, false, 22.0},
               {"before the calibration", Link::Usb, false, 22.0},
               {"not available", Link::Usb, true, 1e9},
               {"error", Link::Usb, true, 0xFFFE * gain * 25.0 - 60.0},
               {"sensors off in the record", Link::Usb, true, 22.0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TabContents contents = PlainDemoTab("usb6_quaternion");
    contents.main.options.temperatureCompensation = true;
    ASSERT_NE(contents.main.temperatureSensors, 0);
    if (c.sensorsOff) contents.main.temperatureSensors = 0;
    Connect(contents, c.link);
    ASSERT_TRUE(arm_->SetTemperatures({c.boardCelsius, c.boardCelsius, c.boardCelsius}));
    ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
    std::array<std::uint8_t, 6> words{};
    if (c.calibrated) {
      ASSERT_EQ(session_->board().ReadTemperatureCalibration(words), 0);
    }

    sim::ArmSurroundings surroundings;
    surroundings.temperatures = {26.0, 26.0, 26.0};
    surroundings.referenceTemperatures = state().working.referenceTemperatures;
    ExpectTruthAlong(5, 3, surroundings);
  }
}

TEST_F(DeviceReadingTest, ReadingWithoutPointOrSwapAllocatesNothing) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.options.temperatureCompensation = true;
  Connect(contents, Link::Serial);
  state().armReady = true;
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);  // opens the port
  const std::uint64_t before = bench::AllocationsOnThisThread();
  std::int32_t statuses = 0;
  for (const double joint1 : {0.0, 0.0, 130.0, 130.0, 0.0}) {  // 130: outside its limits
    ASSERT_TRUE(arm_->SetJointAngle(1, joint1));
    statuses += StatusWith({1});
  }
  EXPECT_EQ(bench::AllocationsOnThisThread(), before);
  EXPECT_EQ(statuses, 2 * 1 + 3 * 512);
  EXPECT_EQ(ui_.supplyDisplay().refreshes, 6);
}

TEST_F(ReadingTest, StatusWordOfButtonsAndAuxiliaryInputs) {
  for (const Link link : {Link::Serial, Link::Usb}) {
    SCOPED_TRACE(link == Link::Usb ? "usb" : "serial");
    TabContents contents = PlainDemoTab("usb6_quaternion");
    ArmOptions& options = contents.main.options;
    options.tabSwapByButton = options.motionDirection = false;
    Connect(contents, link);
    EXPECT_EQ(StatusWith({1}), 1);
    EXPECT_EQ(StatusWith({2}), 2);
    EXPECT_EQ(StatusWith({1, 2}), 3);
    EXPECT_EQ(StatusWith({3}), 0) << "button 3 needs the extra status flag";

    options.extraStatus = options.buttonRemap = true;
    Connect(contents, link);
    EXPECT_EQ(StatusWith({3}), 1) << "remapped: button 3 is button 1 and reads released";
    EXPECT_EQ(StatusWith({1}), 0);
    options.buttonRemap = false;
    Connect(contents, link);
    EXPECT_EQ(StatusWith({3}), 4);

    options.extraStatus = false;
    options.auxiliaryInput1 = true;
    Connect(contents, link);
    EXPECT_EQ(StatusWith({1}), 256);
    EXPECT_EQ(Acknowledged(), link == Link::Serial ? 1u : 0u) << "serial boards are acknowledged";
    EXPECT_EQ(StatusWith({1, 2}), 258);
    // With the limit warning showing, the press still reads 256, now with 512.
    state().armReady = true;
    ASSERT_TRUE(arm_->SetJointAngle(3, 160.0));
    EXPECT_EQ(StatusWith({1}), 768);
    EXPECT_EQ(StatusWith({2}), 512) << "button 2 is not looked at";
  }

  // The status bit 7 button exists on serial boards only.
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  contents.main.options.statusBit7Button = true;
  Connect(contents, Link::Serial);
  const int refreshes = ui_.supplyDisplay().refreshes;
  EXPECT_EQ(StatusWith({4}), 4);
  EXPECT_EQ(StatusWith({4, 1}), 5);
  EXPECT_EQ(ui_.supplyDisplay().refreshes, refreshes) << "an arm without battery";
}

TEST_F(ReadingTest, AuxiliaryInput0RereadsThePressAndAcknowledgesHeldRequests) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  contents.main.options.auxiliaryInput0 = true;
  Connect(contents, Link::Serial);
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  const auto requests = [this] { return arm_->observations().requestsHandled; };

  int before = requests();
  EXPECT_EQ(StatusWith({1}), 1);
  EXPECT_EQ(requests() - before, 2) << "the first reading of a press reads the board again";
  before = requests();
  EXPECT_EQ(StatusWith({1}), 1);
  EXPECT_EQ(requests() - before, 1);
  EXPECT_EQ(StatusWith({}), 0);
  before = requests();
  EXPECT_EQ(StatusWith({1}), 1);
  EXPECT_EQ(requests() - before, 2) << "a new press";

  // A request held with button 1 is acknowledged from its second reading on.
  arm_->SetAuxiliaryRequest(true);
  const std::size_t acknowledged = Acknowledged();
  StatusWith({1});
  EXPECT_EQ(state().reading.auxiliaryCounter, 1);
  EXPECT_EQ(Acknowledged(), acknowledged);
  StatusWith({1});
  EXPECT_EQ(Acknowledged(), acknowledged + 1);
  StatusWith({1});  // the acknowledge cleared the request
  EXPECT_EQ(state().reading.auxiliaryCounter, 0);
}

TEST_F(ReadingTest, ProbesDialogTakesTheButtonsAsAMaskAndThePoseAsComputed) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  Connect(contents, Link::Usb);
  state().tracker.clientSession = 1;
  state().reading.probesDialogOpen = true;
  const auto sweep = sim::WorkspaceSweep(state().working, 3, 1);
  ASSERT_TRUE(sim::ApplyStep(*arm_, sweep[0]));
  EXPECT_EQ(StatusWith({1, 3}), 0);
  EXPECT_EQ(state().reading.dialogButtonMask, 5u);
  EXPECT_EQ(StatusWith({2}), 0);
  EXPECT_EQ(state().reading.dialogButtonMask, 2u);
  now_ += 5000;  // a hold of button 2 opens no file dialog either
  EXPECT_EQ(StatusWith({1, 2}), 0);
  EXPECT_EQ(ui_.CountOf(Kind::FileChoice), 0u);
  ExpectSamePose(pose_, sweep[0].pose);  // no push
}

TEST_F(ReadingTest, ShortPressOfButton2ReadsTwoOnceReleasedAndAHoldOpensTheChooser) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  EXPECT_EQ(StatusWith({2}), 0);
  now_ += 1500;
  EXPECT_EQ(StatusWith({2}), 0);
  EXPECT_EQ(StatusWith({1}), 2) << "exactly 2, whatever else is pressed";
  EXPECT_EQ(StatusWith({1}), 1);

  WriteSettingString("DIR", "Percorso", "/data/arms/last.tab", Store(kLibraryProfileStore));
  EXPECT_EQ(StatusWith({2}), 0);
  now_ += 2000;
  EXPECT_EQ(StatusWith({2}), 0);
  EXPECT_EQ(ui_.CountOf(Kind::FileChoice), 0u) << "2000 ms is not yet a hold";
  now_ += 1;
  EXPECT_EQ(StatusWith({2}), 2) << "after a cancelled choice the reading goes on";
  ASSERT_EQ(ui_.CountOf(Kind::FileChoice), 1u);
  EXPECT_EQ(ui_.requests().back().caption, kTabFileFilter);
  EXPECT_EQ(ui_.requests().back().text, "/data/arms/last.tab");
  EXPECT_EQ(state().reading.swapTimer, 0u);
  EXPECT_FALSE(state().reading.swapBusy);

  // Without the option, a timer left running holds every reading at 0.
  state().working.options.tabSwapByButton = false;
  state().reading.swapTimer = 5;
  EXPECT_EQ(StatusWith({1, 2}), 0);
}

// An accepted file gives the working record its parameters and replaces the probe table and the
// version; a refused one changes nothing.
TEST_F(ReadingTest, AcceptedTabSwapReplacesTheOldProbeTable) {
  TabContents original = PlainDemoTab("usb6_quaternion");
  original.main.probeCount = 1;
  original.probes[0] = original.main;
  original.probes[0].probeName = "old probe";
  Connect(original, Link::Usb);
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  const ArmSessionState before = state();

  TabContents other = original;
  ArmRecord& incoming = other.main;
  for (float& value : incoming.parameters) value += 0.5f;
  incoming.name = "other arm";
  incoming.probeRadius = 7.0f;
  incoming.options.buttonRemap = true;
  SignatureOfVersion(42, incoming.signature);
  incoming.probeCount = 2;
  other.probes[1] = incoming;
  other.probes[1].probeName = "new probe";
  TabContents incompatible = other;
  incompatible.main.encoderOffsets[6] = 1;  // one past the six joints still counts

  const auto hold = [this](const std::optional<fs::path>& file) {
    ui_.ScriptFile(file);
    StatusWith({2});
    now_ += 2500;
    return StatusWith({2});
  };
  const fs::path garbage = folder_ / "garbage.tab";
  ASSERT_FALSE(WriteFileAtomically(garbage, std::string_view("not a tab file")));
  const struct {
    std::optional<fs::path> file;
    std::string message, caption;
    MessageIcon icon;
  } refusals[] = {
      {Save(incompatible, "incompatible.tab"), "_The TAB file isn'tcompatible", "pilvo.dll",
       MessageIcon::None},
      {folder_ / "missing.tab", "Non posso aprire il file", "Pilvo3D", MessageIcon::Error},
      {garbage, "Il file TAB non è corretto", "Pilvo3D", MessageIcon::Error}};
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.message);
    EXPECT_EQ(hold(refusal.file), 0);
    ASSERT_FALSE(ui_.requests().empty());
    EXPECT_EQ(ui_.requests().back().text, refusal.message);
    EXPECT_EQ(ui_.requests().back().caption, refusal.caption);
    EXPECT_EQ(ui_.requests().back().icon, refusal.icon);
    EXPECT_EQ(state().working, before.working);
    EXPECT_TRUE(SameTab(state().tab, before.tab));
    EXPECT_EQ(state().reading.swapTimer, 0u);
  }
  EXPECT_EQ(GetSettingString("DIR", "Percorso", "", Store(kLibraryProfileStore)), "");

  const fs::path accepted = Save(other, "other.tab");
  EXPECT_EQ(hold(accepted), 2);  // button 2 still down after the swap
  ArmRecord expected = before.working;
  std::copy_n(incoming.parameters.begin(), 7 * 6, expected.parameters.begin());  // 6 joints, tool
  EXPECT_EQ(state().working, expected);
  TabContents taken;
  ASSERT_EQ(ParseTabFile(*ReadWholeFile(accepted), taken), TabError::None);
  taken.version = 42;
  EXPECT_TRUE(SameTab(state().tab, taken));
  // A later probe save must rewrite the swapped file, not mix its probes into the first one.
  EXPECT_EQ(state().tabPath, accepted.string());
  EXPECT_EQ(GetSettingString("DIR", "Percorso", "", Store(kLibraryProfileStore)),
            accepted.string());

  ExpectTruthAlong(5, 1);  // with the new parameters
}

// The board protocol has no checksum: a reply spoilt behind its length and echo decodes like a
// good one. Joints that moved further than a hand turns them are read again at once.
TEST_F(ReadingTest, CorruptedReplyIsNotReturnedAsAGoodPoint) {
  // Joint 0 turned by `turn` degrees `pauseMs` after the last reading; the reply of the reading's
  // first board read `spoilt`; `reads` board reads.
  const struct Case {
    const char* what;
    double turn;
    std::uint32_t pauseMs;
    bool spoilt, fails;
    int reads;
  } cases[] = {
      {"spoilt reply of an arm at rest: read again", 0.0, 0, true, false, 2},
      {"spoilt reply while the arm jumped", 60.0, 0, true, true, 2},
      {"a jump that repeats is a real move", 60.0, 0, false, false, 2},
      {"a hand's move", 4.0, 10, false, false, 1},
      {"a jump just inside the window", 340.0, kPlausibilityWindowMs, false, false, 2},
      {"a jump after a pause", 340.0, kPlausibilityWindowMs + 1, false, false, 1},
  };
  const auto reads = [this] {
    const sim::Observations seen = arm_->observations();
    return seen.requestsHandled - seen.releaseCount;
  };
  for (const Link link : {Link::Serial, Link::Usb}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (link == Link::Usb ? " usb" : " serial"));
      Connect(PlainDemoTab("usb6_quaternion"), link);
      std::vector<double> degrees = sim::WorkspaceSweep(state().working, 5, 1)[0].degrees;
      degrees[0] = sim::OnCountGrid(state().working, 0, -170.0);  // a joint without limits
      ASSERT_TRUE(arm_->SetJointAngles(degrees));
      ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
      now_ += c.pauseMs;
      degrees[0] = sim::OnCountGrid(state().working, 0, degrees[0] + c.turn);
      ASSERT_TRUE(arm_->SetJointAngles(degrees));
      if (c.spoilt) {
        ASSERT_TRUE(arm_->InjectFault(sim::Fault::CorruptBytes));
      }
      const Pose before = pose_;
      const int readsBefore = reads();
      const int code = session_->LeggeQuota(pose_, status_);
      EXPECT_EQ(reads() - readsBefore, c.reads);
      if (c.fails) {
        EXPECT_EQ(code, link == Link::Usb ? board::kUsbBadReply : board::kShortSerialReply);
        EXPECT_EQ(pose_, before);
        EXPECT_FALSE(session_->link().IsOpen());
        // As after any board fault: the reading after the reopening is taken as it comes.
        ASSERT_EQ(session_->link().OpenArmPort(), 0);
        const int readsAfter = reads();
        ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
        EXPECT_EQ(reads() - readsAfter, 1);
      } else {
        EXPECT_EQ(code, 0);
        EXPECT_EQ(status_, 0);
      }
      ExpectSamePose(pose_, sim::ProbePose(state().working, degrees));
    }
  }
}

class LimitsTest : public ReadingTest {
 protected:
  // usb6_quaternion: joint 1 within -118 .. 118, joint 3 within -152 .. 152, joint 5 within
  // -115 .. 115, the others free.
  void SetUp() override {
    ReadingTest::SetUp();
    Connect(PlainDemoTab("usb6_quaternion"), Link::Serial);
    state().armReady = true;
  }
  std::uint32_t MaskAt(int joint, double degrees) {
    EXPECT_TRUE(arm_->SetJointAngle(joint, degrees));
    EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
    const std::uint32_t mask = state().reading.limitMask;
    EXPECT_TRUE(arm_->SetJointAngle(joint, 0.0));
    EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
    return mask;
  }
};

TEST_F(LimitsTest, BoundsAreInsideAndBitsFollowTheBaseRecordsJoints) {
  // 7200 lines: 80 counts a degree, so 152 degrees is exactly on the grid.
  EXPECT_EQ(MaskAt(3, 152.0), 0u);
  EXPECT_EQ(MaskAt(3, -152.0), 0u);
  EXPECT_EQ(MaskAt(3, 152.0 + 1.0 / 80), 8u);
  EXPECT_EQ(MaskAt(3, -152.0 - 1.0 / 80), 8u);
  EXPECT_EQ(MaskAt(0, 300.0), 0u) << "no limits";
  EXPECT_EQ(MaskAt(1, -119.0), 2u);
  EXPECT_EQ(MaskAt(5, 120.0), 32u);

  // The base record decides, whatever the probe in use carries.
  state().working.jointLimits = {};
  EXPECT_EQ(MaskAt(5, 120.0), 32u);
  state().tab.main.jointCount = 5;
  EXPECT_EQ(MaskAt(5, 120.0), 0u);
}

TEST_F(LimitsTest, WarningOpensUpdatesAndClosesWithTheLimitStatus) {
  const auto& warning = ui_.limitsWarning();
  ASSERT_TRUE(arm_->SetJointAngle(1, 125.0));
  ASSERT_TRUE(arm_->SetJointAngle(5, -120.0));
  EXPECT_EQ(StatusWith({1, 2}), 512);
  EXPECT_EQ(StatusWith({1, 2}), 512);
  EXPECT_EQ(warning.shows, 1);
  EXPECT_EQ(warning.updates, 2);
  EXPECT_EQ(warning.lastMask, 34u);
  ASSERT_EQ(warning.angleCount, 6u);
  EXPECT_NEAR(warning.lastAngles[1] * kRadiansToDegrees, 125.0, 1e-9);

  ASSERT_TRUE(arm_->SetJointAngles(std::vector<double>(6, 0.0)));
  EXPECT_EQ(StatusWith({1}), 512) << "the reading that clears it";
  EXPECT_EQ(warning.hides, 1);
  EXPECT_FALSE(warning.visible);
  EXPECT_EQ(StatusWith({1}), 1);
  EXPECT_EQ(warning.updates, 2);

  // Closing the link leaves the arm uninitialised: no limits until the next initialisation.
  ASSERT_TRUE(arm_->SetJointAngle(1, 125.0));
  session_->link().ChiudePorta();
  EXPECT_FALSE(state().armReady);
  EXPECT_FALSE(state().tabLoaded);
  EXPECT_EQ(ui_.CountOf(Kind::Disconnected), 1u);
  EXPECT_EQ(ui_.CountOf(Kind::BatteryReset), 1u);
  EXPECT_EQ(StatusWith({1}), 1);
}

TEST_F(LimitsTest, WizardKeepsTheMaskButShowsNoWarningAndNoSupply) {
  TabContents contents = PlainDemoTab("usb6_quaternion");
  contents.main.options.auxiliaryInput1 = true;
  for (const Program program : {Program::Library, Program::Wizard}) {
    const bool wizard = program == Program::Wizard;
    SCOPED_TRACE(wizard ? "wizard" : "library");
    Connect(contents, Link::Usb, program);
    state().armReady = true;
    const int refreshes = ui_.supplyDisplay().refreshes;
    const int shows = ui_.limitsWarning().shows;
    ASSERT_TRUE(arm_->SetJointAngle(3, 170.0));
    EXPECT_EQ(StatusWith({1}), wizard ? 256 : 768);
    EXPECT_EQ(state().reading.limitMask, 8u);
    EXPECT_EQ(ui_.limitsWarning().shows - shows, wizard ? 0 : 1);
    EXPECT_EQ(ui_.supplyDisplay().refreshes - refreshes, wizard ? 0 : 1);
    const std::size_t disconnections = ui_.CountOf(Kind::Disconnected);
    session_->link().ChiudePorta();
    EXPECT_EQ(ui_.CountOf(Kind::Disconnected) - disconnections, wizard ? 0u : 1u);
  }
}

TEST_F(ReadingTest, JointViewsOfTheLastReading) {
  TabContents contents = PlainDemoTab("five_joint");
  contents.main.options.board3ThirdAxis = true;
  contents.main.options.auxiliaryInput2 = true;
  Connect(contents, Link::Serial);
  std::array<double, kMaxJoints> angles{};
  std::array<double, kKinematicViewValues> values{};
  angles.fill(-7.0);
  EXPECT_EQ(session_->ReadJointAngles(angles), -1) << "not connected";
  EXPECT_EQ(session_->VedeCinematica(0, values), -1);
  EXPECT_EQ(angles[0], -7.0);

  // On the count grid: 8000 lines give 800 counts in 9 degrees, 5000 lines 500.
  const std::vector<double> degrees = {9.0, 18.0, 27.0, 36.0, 45.0};
  ASSERT_TRUE(arm_->SetJointAngles(degrees));
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  ASSERT_EQ(session_->ReadJointAngles(angles), 0);
  EXPECT_NEAR(angles[4], 45.0 * kDegreesToRadians, 1e-12);
  std::array<double, kMaxJoints> counts{};
  ASSERT_EQ(session_->ReadJointCounts(counts), 0);
  EXPECT_EQ(counts[1], 1600.0);

  ASSERT_EQ(session_->VedeCinematica(3, values), 0);
  const auto& p = state().working.parameters;
  const std::array<double, kKinematicViewValues> expected = {-9.0, 18.0, 0.0,  27.0,  36.0,
                                                             45.0, p[0], p[5], p[12], p[20]};
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], expected[i], 1e-9) << i;
  ASSERT_EQ(session_->VedeCinematica(2, values), 0);
  EXPECT_NEAR(values[3], 27.0 * kDegreesToRadians, 1e-12) << "bit 0 clear: radians";

  std::int32_t shown = 0;
  std::int32_t options = 0;
  std::array<double, kLinkLengths> lengths{};
  angles.fill(-7.0);
  ASSERT_EQ(session_->VedeCinematica2(1, &shown, angles.data(), lengths.data(), &options), 0);
  EXPECT_EQ(shown, 4) << "board 3's third axis without its companion is not shown";
  EXPECT_NEAR(angles[0], -9.0, 1e-9);
  EXPECT_NEAR(angles[3], 36.0, 1e-9);
  EXPECT_EQ(angles[4], -7.0);
  EXPECT_EQ(lengths[3], p[20]);
  EXPECT_EQ(options, 2);
  ASSERT_EQ(session_->VedeCinematica2(3, nullptr, angles.data(), nullptr, nullptr), 0);
  EXPECT_NEAR(angles[1], 18.0 * kDegreesToRadians, 1e-12) << "only mode 1 gives degrees";
  state().tabLoaded = false;
  EXPECT_EQ(session_->VedeCinematica2(1, nullptr, nullptr, nullptr, nullptr), -2);
}

TEST_F(ReadingTest, LoadingResetsTheSessionAndRefusesBadFiles) {
  TabContents contents = PlainDemoTab("serial6_dh_marks");
  contents.main.jointLimits[2] = {-10.0, 10.0};
  Connect(contents, Link::Serial);
  const ArmSessionState& s = state();
  EXPECT_TRUE(s.tabLoaded);
  EXPECT_TRUE(s.limitsConfigured);
  EXPECT_EQ(s.working.referenceTemperatures, (std::array<double, 3>{21.0, 21.0, 21.0}));
  EXPECT_EQ(s.tab.main.referenceTemperatures, (std::array<double, 3>{}))
      << "the base record keeps its own";

  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  state().tracker.acceptedCount = 4;
  state().toolInUse = 3;
  state().working.ambientTemperature = 23;
  contents.main.jointLimits = {};
  ASSERT_EQ(session_->LeggeParametri(Save(contents, "free.tab")), 0);
  EXPECT_TRUE(s.limitsConfigured) << "never cleared";
  EXPECT_EQ(s.toolInUse, 0);
  EXPECT_EQ(s.tracker.acceptedCount, 0);
  EXPECT_EQ(s.working.ambientTemperature, 23) << "not in the file";
  EXPECT_EQ(s.tab.main.jointLimits, contents.main.jointLimits);

  const auto refused = [&](const fs::path& path, int code) {
    ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);  // the link is open
    EXPECT_EQ(session_->LeggeParametri(path), code);
    EXPECT_EQ(s.tabPath, "");
    EXPECT_FALSE(session_->link().IsOpen());
    EXPECT_FALSE(s.tabLoaded);
  };
  refused(folder_ / "missing.tab", -1);
  // An existing file whose path does not fit the 259 characters of tabPath.
  const fs::path deep = folder_ / std::string(200, 'd');
  fs::create_directories(deep);
  refused(Save(contents, (deep / (std::string(100, 'f') + ".tab")).string()), -1);
  const fs::path garbage = folder_ / "garbage.tab";
  ASSERT_FALSE(WriteFileAtomically(garbage, std::string_view("t99 and more")));
  refused(garbage, -2);
  EXPECT_EQ(s.tab.main.jointLimits, contents.main.jointLimits) << "a refused file changes nothing";
}

// What windows learn from the session without polling it.
struct Events : SessionObserver {
  void ArmConnected() override { ++connected; }
  void ArmDisconnected() override { ++disconnected; }
  void ProbeChanged() override { ++probes; }
  void SupplyChanged() override { ++supplies; }
  void LimitsChanged(std::uint32_t mask) override { masks.push_back(mask); }
  int connected = 0, disconnected = 0, probes = 0, supplies = 0;
  std::vector<std::uint32_t> masks;
};

TEST_F(ReadingTest, ObserversHearOfConnectionProbeSupplyLimitsAndClose) {
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  Events events, removed;
  session_->AddObserver(events);
  session_->AddObserver(events);  // once is enough
  session_->AddObserver(removed);
  session_->RemoveObserver(removed);

  ASSERT_EQ(InitialiseArm(*session_, InitialiseMode::Connect), 0);
  EXPECT_EQ(events.connected, 1);
  session_->SelectProbe(0);
  EXPECT_EQ(events.probes, 1);

  const int supplies = events.supplies;
  ASSERT_TRUE(arm_->SetJointAngle(3, 170.0));
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);  // the same joints out: no news
  ASSERT_TRUE(arm_->SetJointAngle(3, 0.0));
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
  EXPECT_EQ(events.masks, (std::vector<std::uint32_t>{8u, 0u}));
  EXPECT_EQ(events.supplies - supplies, 3);

  session_->link().ChiudePorta();
  EXPECT_EQ(events.disconnected, 1);
  EXPECT_EQ(removed.connected + removed.disconnected + removed.probes + removed.supplies, 0);
  EXPECT_TRUE(removed.masks.empty());
}

}  // namespace
}  // namespace pilvo::testing
