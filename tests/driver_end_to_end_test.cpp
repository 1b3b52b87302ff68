// The driver as a measuring application uses it: libpilvo.so loaded with dlopen, its fourteen
// exports called in the documented order against virtual arms served by this process, on a
// pseudo-terminal and through the simulator flavour of the USB access library. The poses are
// checked against the virtual arm's own kinematics; the dialogs run on the console operator, with
// the arm moved and its buttons pressed from a second thread while a call waits in its dialog,
// or on a scripted operator where a dialog must be cancelled.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <Eigen/Geometry>

#include "data/settings.h"
#include "demo_arm.h"
#include "pilvo.h"
#include "pilvo_library.h"
#include "pose_expectations.h"
#include "scoped_config_dir.h"
#include "sim/forward_kinematics.h"
#include "sim/motions.h"
#include "sim/virtual_arm.h"

namespace pilvo {
namespace {

namespace fs = std::filesystem;
using testing::ExpectSamePose;
using testing::kPositionTolerance;
using testing::OnBoardGrid;

constexpr std::int32_t kUnsetStatus = -77;

Pose UnsetPose() {
  Pose pose;
  pose.fill(12345.0);
  return pose;
}

// Readings in the table's frame: the table's angles lie on a grid of 0.0025 degrees, and each
// point of the alignment is pushed along the line fitted to its approach.
constexpr double kTableTolerance = 0.05;  // mm
constexpr double kTableRotationTolerance = 1e-4;

Eigen::Vector3d PositionOf(const Eigen::Matrix4d& pose) {
  return pose.topRightCorner<3, 1>();
}

Eigen::Vector3d PositionOf(const Pose& pose) {
  return {pose[3], pose[7], pose[11]};
}

// Three points O, X, Y as a workpiece frame: X along O→X, Z normal to the plane, Y on the side
// of the third point.
sim::UserFrame FrameOf(const Eigen::Vector3d& o, const Eigen::Vector3d& x,
                       const Eigen::Vector3d& y) {
  const Eigen::Vector3d ex = (x - o).normalized();
  const Eigen::Vector3d ez = ex.cross(y - o).normalized();
  sim::UserFrame frame;
  frame.axes.row(0) = ex;
  frame.axes.row(1) = ez.cross(ex);
  frame.axes.row(2) = ez;
  frame.offset = frame.axes * o;
  return frame;
}

// The user frame as the profile keeps it: section "Terna", element (2, 1) under "matRif-21".
sim::UserFrame StoredUserFrame(const SettingsStore& profile) {
  const auto value = [&profile](const std::string& key) {
    const std::string text = GetSettingString("Terna", key, "nan", profile);
    double number = std::nan("");
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
  };
  sim::UserFrame frame;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const std::string digits = std::to_string(i) + std::to_string(j);
      frame.axes(i, j) = value(digits == "21" ? "matRif-21" : "matRif_" + digits);
    }
    frame.offset[i] = value("ref1_" + std::to_string(i) + "3");
  }
  return frame;
}

// The circle through three points: its centre, and its unit normal turned from a towards b.
struct Circle {
  Eigen::Vector3d centre;
  Eigen::Vector3d normal;
};

Circle CircleThrough(const Eigen::Vector3d& a, const Eigen::Vector3d& b, const Eigen::Vector3d& c) {
  const Eigen::Vector3d u = a - c;
  const Eigen::Vector3d v = b - c;
  const Eigen::Vector3d w = u.cross(v);
  const Eigen::Vector3d centre =
      c + (u.squaredNorm() * v - v.squaredNorm() * u).cross(w) / (2.0 * w.squaredNorm());
  return {centre, (a - centre).cross(b - centre).normalized()};
}

// The angle from a to p about the circle's normal, radians.
double AngleAbout(const Circle& circle, const Eigen::Vector3d& a, const Eigen::Vector3d& p) {
  const Eigen::Vector3d u = a - circle.centre;
  const Eigen::Vector3d v = p - circle.centre;
  return std::atan2(circle.normal.dot(u.cross(v)), u.dot(v));
}

// One thing the operator does to the arm; false when the arm refuses it.
using Gesture = std::function<bool()>;

struct Acting {
  std::int32_t result = 0;
  std::size_t gesturesMade = 0;
  bool armAccepted = true;
};

// Runs `call` while a second thread works the arm as the operator of the call's dialog would:
// after the library has read the arm `startAfter` times, each gesture is made once the library
// has read the arm twice since the previous one (the first read may have been under way before
// the gesture, and a press it missed would be lost). The helper stops when the call returns.
Acting WhileOperatorActs(sim::VirtualArm& arm, int startAfter, const std::vector<Gesture>& gestures,
                         const std::function<std::int32_t()>& call) {
  Acting acting;
  std::atomic<bool> returned = false;
  const auto awaitReads = [&](int reads) {
    const int target = arm.observations().requestsHandled + reads;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arm.observations().requestsHandled < target) {
      if (returned || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  };
  std::thread helper([&] {
    if (!awaitReads(startAfter)) return;
    for (const Gesture& gesture : gestures) {
      acting.armAccepted = acting.armAccepted && gesture();
      ++acting.gesturesMade;
      if (!awaitReads(2)) return;
    }
  });
  acting.result = call();
  returned = true;
  helper.join();
  return acting;
}

class DriverTest : public ::testing::Test, protected testing::ServedDemoArm {
 protected:
  void TearDown() override {
    UnloadDriver();
    StopServing();
  }

  // The library loaded with the console operator, and demo arm `name` served.
  void Begin(const std::string& name, const sim::VirtualArmOptions& options = {}) {
    ASSERT_NO_FATAL_FAILURE(LoadDriver("console"));
    ASSERT_NO_FATAL_FAILURE(Serve(name, options));
  }

  // Another client session on the same settings: the library unloaded and loaded again.
  void Reload(const std::string& choice) {
    UnloadDriver();
    ASSERT_NO_FATAL_FAILURE(LoadDriver(choice));
  }

  // A fresh library: a new process-wide session whose operator is `choice` (PILVO_OPERATOR).
  void LoadDriver(const std::string& choice) {
    ::setenv("PILVO_OPERATOR", choice.c_str(), 1);
    ASSERT_TRUE(driver_.Load(PILVO_LIBRARY)) << driver_.error();
  }

  // Unloading ends the session: the next LoadDriver starts from nothing.
  void UnloadDriver() { EXPECT_TRUE(driver_.Unload()) << driver_.error(); }

  // A scripted operator answering from `lines` (one answer a line).
  std::string Script(const std::string& lines) {
    const fs::path file = config_.path() / "operator.script";
    std::ofstream(file) << lines;
    return "script:" + file.string();
  }

  // Serves demo arm `name` on the link its TAB file names.
  void Serve(const std::string& name, const sim::VirtualArmOptions& options = {}) {
    ASSERT_TRUE(ServedDemoArm::Serve(name, config_.path() / "usb.sock", options));
  }

  // AprePorta and LeggeParametri: USB arms ignore the port name.
  void Open() {
    ASSERT_EQ(api_.AprePorta(portName().c_str()), 0);
    ASSERT_EQ(api_.LeggeParametri(tabPath_.c_str()), 0);
  }

  std::int32_t Read() { return api_.LeggeQuota(pose_.data(), &status_); }

  // A failed reading leaves the client's pose and status as they were.
  void ExpectFailedReading(std::int32_t code) {
    pose_ = UnsetPose();
    status_ = kUnsetStatus;
    EXPECT_EQ(Read(), code);
    EXPECT_EQ(pose_, UnsetPose());
    EXPECT_EQ(status_, kUnsetStatus);
  }

  // A reply spoilt behind whatever the link checks cannot be told from a real one; it must not
  // outlast itself. Its status may have shown buttons or joints outside their limits, which the
  // reading after it reports as released or cleared.
  void ExpectSpoiltReplyForgotten(sim::Fault fault) {
    ASSERT_TRUE(arm_->InjectFault(fault));
    if (Read() < 0) {
      ASSERT_EQ(api_.ResetEncoder(), 0);
    }
    const std::vector<double> degrees = Posture(90);
    ASSERT_TRUE(arm_->SetJointAngles(degrees));
    ASSERT_EQ(Read(), 0);
    ExpectSamePose(pose_, sim::ProbePose(record_, degrees, surroundings_));
    ExpectReadingAt(Posture(91));
  }

  // The arm at `degrees` reads as the arm's truth there.
  void ExpectReadingAt(const std::vector<double>& degrees, const ArmRecord& record) {
    ASSERT_TRUE(arm_->SetJointAngles(degrees));
    ASSERT_EQ(Read(), 0);
    EXPECT_EQ(status_, 0);
    ExpectSamePose(pose_, sim::ProbePose(record, degrees, surroundings_));
  }
  void ExpectReadingAt(const std::vector<double>& degrees) { ExpectReadingAt(degrees, record_); }

  // The readings follow the arm along a sweep of the workspace.
  void ExpectTruthAlong(std::uint32_t seed, int steps, const ArmRecord& record) {
    for (const sim::MotionStep& step : sim::WorkspaceSweep(record, seed, steps, surroundings_)) {
      ASSERT_TRUE(sim::ApplyStep(*arm_, step));
      ASSERT_EQ(Read(), 0);
      EXPECT_EQ(status_, 0);
      ExpectSamePose(pose_, step.pose);
    }
  }
  void ExpectTruthAlong(std::uint32_t seed, int steps) { ExpectTruthAlong(seed, steps, record_); }

  std::vector<double> Posture(std::uint32_t seed) const {
    return sim::WorkspaceSweep(record_, seed, 1)[0].degrees;
  }

  // The operator takes one point: the arm to `degrees`, button 1 pressed and released.
  std::vector<Gesture> TakePointAt(const std::vector<double>& degrees) {
    sim::VirtualArm& arm = *arm_;
    return {[&arm, degrees] { return arm.SetJointAngles(degrees); },
            [&arm] { return arm.SetButton(1, true); }, [&arm] { return arm.SetButton(1, false); }};
  }

  testing::LibraryConfigDir config_{"driver_end_to_end"};
  testing::PilvoLibrary driver_;
  const testing::PilvoExports& api_ = driver_.exports();
  Pose pose_{};
  std::int32_t status_ = kUnsetStatus;
};

TEST_F(DriverTest, CallsBeforeAConnectionAnswerWithoutOpeningAnything) {
  ASSERT_NO_FATAL_FAILURE(Begin("serial6_dh_marks"));
  EXPECT_EQ(api_.LeggeVersione(), 4403);
  EXPECT_EQ(api_.VedeMaxAssi(), 8);
  EXPECT_EQ(api_.VedePulsante(), -1);

  EXPECT_EQ(api_.ChiudePorta(), -1);
  std::array<double, 10> values{};
  EXPECT_EQ(api_.VedeCinematica(1, values.data()), -1);
  EXPECT_EQ(api_.VedeCinematica2(1, nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(api_.RuotaTerna(1), -1);
  EXPECT_EQ(api_.RuotaTerna(0), 0);
  EXPECT_EQ(api_.RuotaTerna(2), -3);
  EXPECT_EQ(api_.LeggeTerna(), 0);

  ASSERT_EQ(api_.AprePorta(port_->name().c_str()), 0);
  EXPECT_EQ(api_.LeggeParametri((config_.path() / "missing.tab").c_str()), -1);
  const fs::path garbage = config_.path() / "garbage.tab";
  std::ofstream(garbage) << "not a TAB file";
  EXPECT_EQ(api_.LeggeParametri(garbage.c_str()), -2);
  ASSERT_EQ(api_.LeggeParametri(tabPath_.c_str()), 0);
  std::uint32_t mask = 0xDEAD;
  EXPECT_EQ(api_.LeggeTacche(&mask), -1) << "the arm has marks, but no link is open";
  EXPECT_EQ(mask, 0xDEADu);
  // A port name longer than its field is refused, and the port named before is not opened.
  EXPECT_EQ(api_.AprePorta("/tmp/pv123456"), 0);
  EXPECT_EQ(api_.ResetEncoder(), -1);
  ExpectFailedReading(-1);
  EXPECT_EQ(arm_->observations().requestsHandled, 0);
}

TEST_F(DriverTest, SerialArmIsReferencedOnItsMarksAndMeasuresItsTruth) {
  sim::VirtualArmOptions unreferenced;
  unreferenced.referenced = false;
  ASSERT_NO_FATAL_FAILURE(Begin("serial6_dh_marks", unreferenced));
  const int joints = record_.jointCount;
  ASSERT_TRUE(arm_->SetJointAngles(std::vector<double>(joints, -5.0)));
  Open();

  // The operator turns each joint across its mark while the reset dialog waits for them.
  std::vector<Gesture> gestures;
  for (int joint = 0; joint < joints; ++joint) {
    gestures.push_back([this, joint] { return arm_->SetJointAngle(joint, 5.0); });
  }
  const Acting reset =
      WhileOperatorActs(*arm_, 1, gestures, [this] { return api_.ResetEncoder(); });
  EXPECT_EQ(reset.result, 0);
  EXPECT_TRUE(reset.armAccepted);
  EXPECT_EQ(reset.gesturesMade, gestures.size()) << "the reset ended before the last mark";
  std::uint32_t mask = 0;
  EXPECT_EQ(api_.LeggeTacche(&mask), 1);
  EXPECT_EQ(mask, 63u);

  ExpectTruthAlong(3, 12);
  double diameter = 0.0;
  ASSERT_EQ(api_.LeggeQuota2(pose_.data(), &status_, &diameter), 0);
  EXPECT_EQ(diameter, 2.0 * record_.probeRadius);
  // A point taken with button 1: without the motion-direction option it is not pushed.
  ASSERT_FALSE(record_.options.motionDirection);
  const Pose atRest = pose_;
  ASSERT_TRUE(arm_->SetButton(1, true));
  ASSERT_EQ(Read(), 0);
  EXPECT_EQ(status_, PILVO_STATUS_BUTTON1) << "read through the latched registers since the marks";
  EXPECT_EQ(pose_, atRest);
  ASSERT_TRUE(arm_->SetButton(1, false));

  // The joint views of the last reading; joint 0 is shown negated, and the corrected second
  // joint shows its counter, not its kinematic angle.
  const std::vector<double> degrees = Posture(5);
  ExpectReadingAt(degrees);
  std::array<double, 10> values{};
  ASSERT_EQ(api_.VedeCinematica(1, values.data()), 0);
  std::array<double, 10> radians{};
  ASSERT_EQ(api_.VedeCinematica(0, radians.data()), 0);
  std::int32_t shown = 0;
  std::array<double, 8> angles{};
  std::array<double, 4> lengths{};
  std::int32_t options = -1;
  ASSERT_EQ(api_.VedeCinematica2(1, &shown, angles.data(), lengths.data(), &options), 0);
  EXPECT_EQ(shown, joints);
  EXPECT_EQ(options, 0);
  for (int joint = 0; joint < joints; ++joint) {
    const auto j = static_cast<std::size_t>(joint);
    const double expected = joint == 0 ? -degrees[j] : degrees[j];
    if (joint != 1) {
      EXPECT_NEAR(values[j], expected, 1e-9) << joint;
    }
    EXPECT_NEAR(radians[j], values[j] * std::numbers::pi / 180.0, 1e-12) << joint;
    EXPECT_NEAR(angles[j], values[j], 1e-12) << joint;
  }
  for (std::size_t i = 0; i < lengths.size(); ++i) EXPECT_EQ(lengths[i], values[6 + i]);
  EXPECT_EQ(api_.VedeCinematica2(0, nullptr, nullptr, nullptr, nullptr), 0);

  // Closing keeps the TAB file: the next reading opens the link again on demand, but the joint
  // view waits for the file to be loaded again.
  EXPECT_EQ(api_.ChiudePorta(), 0);
  EXPECT_EQ(api_.ChiudePorta(), -1);
  EXPECT_EQ(api_.VedeCinematica(1, values.data()), -1);
  ExpectReadingAt(Posture(6));
  EXPECT_EQ(api_.VedeCinematica2(1, &shown, nullptr, nullptr, nullptr), -2);
  ASSERT_EQ(api_.LeggeParametri(tabPath_.c_str()), 0);
  EXPECT_EQ(api_.VedeCinematica2(1, &shown, nullptr, nullptr, nullptr), 0);

  // The next session: a cancelled reset dialog closes the link; with every mark passed before
  // the call, the dialog ends at once.
  ASSERT_NO_FATAL_FAILURE(Reload(Script("reset cancel\n")));
  Open();
  EXPECT_EQ(api_.ResetEncoder(), -4);
  EXPECT_EQ(api_.ChiudePorta(), -1);
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ExpectTruthAlong(7, 4);
}

TEST_F(DriverTest, UserFrameFromThreePressesIsStoredReloadedAndKeptOnCancel) {
  ASSERT_NO_FATAL_FAILURE(Begin("five_joint"));
  surroundings_.temperatures = {21.0, 21.0, 21.0};  // the default ambient temperature
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);

  const std::vector<std::vector<double>> points = {Posture(11), Posture(12), Posture(13)};
  std::vector<Gesture> gestures;
  for (const auto& degrees : points) {
    const auto taking = TakePointAt(degrees);
    gestures.insert(gestures.end(), taking.begin(), taking.end());
  }
  const Acting alignment =
      WhileOperatorActs(*arm_, 0, gestures, [this] { return api_.RuotaTerna(1); });
  ASSERT_EQ(alignment.result, 0);
  EXPECT_TRUE(alignment.armAccepted);
  EXPECT_EQ(alignment.gesturesMade, gestures.size());

  // The three points read as the frame's origin, a point on X and a point on the XY side.
  std::vector<Eigen::Vector3d> truth;
  for (const auto& degrees : points) {
    truth.push_back(PositionOf(sim::ProbePose(record_, degrees, surroundings_)));
  }
  std::vector<Eigen::Vector3d> read;
  for (const auto& degrees : points) {
    ASSERT_TRUE(arm_->SetJointAngles(degrees));
    ASSERT_EQ(Read(), 0);
    read.push_back(PositionOf(pose_));
  }
  EXPECT_LE(read[0].norm(), kPositionTolerance);
  EXPECT_NEAR(read[1].x(), (truth[1] - truth[0]).norm(), kPositionTolerance);
  EXPECT_NEAR(read[1].y(), 0.0, kPositionTolerance);
  EXPECT_NEAR(read[1].z(), 0.0, kPositionTolerance);
  EXPECT_GT(read[2].y(), 0.0);
  EXPECT_NEAR(read[2].z(), 0.0, kPositionTolerance);
  surroundings_.userFrame = FrameOf(truth[0], truth[1], truth[2]);
  ExpectTruthAlong(14, 6);

  // The profile keeps the frame, to six decimals.
  const sim::UserFrame stored = StoredUserFrame(config_.Store(kLibraryProfileStore));
  EXPECT_LE((stored.axes - surroundings_.userFrame->axes).cwiseAbs().maxCoeff(), 1e-6);
  EXPECT_LE((stored.offset - surroundings_.userFrame->offset).cwiseAbs().maxCoeff(), 1e-6);

  // A reset measures in the arm's frame again; LeggeTerna brings the stored frame back.
  ASSERT_EQ(api_.ResetEncoder(), 0);
  surroundings_.userFrame.reset();
  ExpectTruthAlong(15, 3);
  ASSERT_EQ(api_.LeggeTerna(), 0);
  surroundings_.userFrame = stored;
  ExpectTruthAlong(16, 3);

  // Another client session: a cancelled alignment keeps the frame in use, a failed one leaves
  // the arm's frame until LeggeTerna.
  ASSERT_NO_FATAL_FAILURE(Reload(Script("alignment cancel\nalignment run 20\n")));
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ASSERT_EQ(api_.LeggeTerna(), 0);
  ExpectTruthAlong(17, 3);
  EXPECT_EQ(api_.RuotaTerna(1), 0);
  ExpectTruthAlong(18, 3);
  EXPECT_EQ(api_.RuotaTerna(2), -3);
  ExpectTruthAlong(19, 3);

  ASSERT_TRUE(arm_->InjectFault(sim::Fault::ShortReply));
  EXPECT_EQ(api_.RuotaTerna(1), -2);
  EXPECT_EQ(api_.ChiudePorta(), -1) << "the failed reading closed the link";
  surroundings_.userFrame.reset();
  ExpectTruthAlong(20, 3);
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ASSERT_EQ(api_.LeggeTerna(), 0);
  surroundings_.userFrame = stored;
  ExpectTruthAlong(21, 3);
  EXPECT_EQ(api_.RuotaTerna(0), 0);
  surroundings_.userFrame.reset();
  ExpectTruthAlong(22, 3);
}

TEST_F(DriverTest, UsbArmMeasuresWithItsBoardTemperaturesPushesPointsAndFollowsTheProbe) {
  ASSERT_NO_FATAL_FAILURE(Begin("usb6_quaternion"));
  surroundings_.temperatures = {OnBoardGrid(23.0), OnBoardGrid(24.5), OnBoardGrid(26.0)};
  ASSERT_TRUE(arm_->SetTemperatures(surroundings_.temperatures));
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);  // the board kept its reference
  std::uint32_t mask = 0xBEEF;
  EXPECT_EQ(api_.LeggeTacche(&mask), -2) << "an arm without reference marks";
  EXPECT_EQ(mask, 0xBEEFu);

  ExpectTruthAlong(7, 12);
  double diameter = 0.0;
  ASSERT_EQ(api_.LeggeQuota2(pose_.data(), &status_, &diameter), 0);
  EXPECT_EQ(diameter, 2.0 * record_.probeRadius);
  std::array<double, 10> values{};
  ASSERT_EQ(api_.VedeCinematica(1, values.data()), 0);
  const std::vector<double> last = arm_->jointAngles();
  EXPECT_NEAR(values[0], -last[0], 1e-9);
  for (std::size_t joint = 1; joint < 6; ++joint) EXPECT_NEAR(values[joint], last[joint], 1e-9);

  // A point taken after a straight move is pushed by the probe radius along the move.
  ASSERT_TRUE(record_.options.motionDirection);
  const Eigen::Vector3d direction(0.6, 0.0, -0.8);
  const auto motion = sim::LineThenPress(record_, Posture(11), direction, 15.0, 10, surroundings_);
  for (const sim::MotionStep& step : motion) {
    ASSERT_TRUE(sim::ApplyStep(*arm_, step));
    ASSERT_EQ(Read(), 0);
  }
  EXPECT_EQ(status_, PILVO_STATUS_BUTTON1);
  const Eigen::Vector3d push = PositionOf(pose_) - PositionOf(motion.back().pose);
  EXPECT_NEAR(push.norm(), record_.probeRadius, kPositionTolerance);
  EXPECT_GT(push.normalized().dot(direction), 0.999);
  ASSERT_TRUE(arm_->SetButton(1, false));

  // The probe in use comes from the installation's settings at the next reset.
  const TabContents tab = testing::DemoTab("usb6_quaternion");
  ASSERT_GE(tab.main.probeCount, 2);
  const ArmRecord& probe = tab.probes[1];
  const SettingsStore installation = config_.Store(InstallationNameFor(PILVO_LIBRARY));
  ASSERT_TRUE(WriteSettingInt("Tools", "toolInUse", 2, installation));
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ASSERT_EQ(api_.LeggeQuota2(pose_.data(), &status_, &diameter), 0);
  EXPECT_EQ(diameter, 2.0 * probe.probeRadius);
  EXPECT_NE(diameter, 2.0 * record_.probeRadius);
  ExpectTruthAlong(8, 6, probe);

  // A probe the table does not hold gives the arm's own back.
  ASSERT_TRUE(WriteSettingInt("Tools", "toolInUse", 9, installation));
  ASSERT_EQ(api_.ResetEncoder(), 0);
  EXPECT_EQ(GetSettingInt("Tools", "toolInUse", -1, installation), 0u);
  ASSERT_EQ(api_.LeggeQuota2(pose_.data(), &status_, &diameter), 0);
  EXPECT_EQ(diameter, 2.0 * record_.probeRadius);
  ExpectTruthAlong(9, 6);
  EXPECT_EQ(api_.ChiudePorta(), 0);
  EXPECT_EQ(api_.ChiudePorta(), -1);
}

TEST_F(DriverTest, ArmAtRestMeasuresAtTheStoredAmbientTemperature) {
  ASSERT_TRUE(WriteSettingInt("TEMPERATURA", "Ambiente", 26, config_.Store(kLibraryProfileStore)));
  ASSERT_NO_FATAL_FAILURE(Begin("five_joint"));
  ASSERT_TRUE(record_.options.temperatureCompensation);
  ASSERT_EQ(record_.temperatureSensors, 0);
  surroundings_.temperatures = {26.0, 26.0, 26.0};
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);
  std::uint32_t mask = 0;
  EXPECT_EQ(api_.LeggeTacche(&mask), 1);
  EXPECT_EQ(mask, 31u);
  ExpectTruthAlong(4, 12);

  // Five joints in the six-joint layout of VedeCinematica: value 2 stays empty.
  const std::vector<double> degrees = arm_->jointAngles();
  std::array<double, 10> values{};
  ASSERT_EQ(api_.VedeCinematica(1, values.data()), 0);
  const std::array<double, 6> expected = {-degrees[0], degrees[1], 0.0,
                                          degrees[2],  degrees[3], degrees[4]};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(values[i], expected[i], 1e-9) << i;
  std::int32_t shown = 0;
  std::array<double, 8> angles{};
  ASSERT_EQ(api_.VedeCinematica2(1, &shown, angles.data(), nullptr, nullptr), 0);
  EXPECT_EQ(shown, 5);
  EXPECT_NEAR(angles[4], degrees[4], 1e-9);
}

TEST_F(DriverTest, SerialBoardFaultsCloseTheLinkWithTheirCodeAndResetRecovers) {
  // Short read time-outs, so that a silent board costs little.
  ASSERT_TRUE(
      WriteSettingInt("TIMEOUT", "ReadTotalConstant", 100, config_.Store(kLibraryProfileStore)));
  ASSERT_TRUE(
      WriteSettingInt("TIMEOUT", "ReadTotalMultiplier", 2, config_.Store(kLibraryProfileStore)));
  ASSERT_NO_FATAL_FAILURE(Begin("five_joint"));
  surroundings_.temperatures = {21.0, 21.0, 21.0};
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);

  std::uint32_t seed = 30;
  for (const sim::Fault fault : {sim::Fault::Silence, sim::Fault::ShortReply}) {
    SCOPED_TRACE(static_cast<int>(fault));
    ASSERT_TRUE(arm_->SetJointAngles(Posture(++seed)));
    ASSERT_TRUE(arm_->InjectFault(fault));
    ExpectFailedReading(-2);
    EXPECT_EQ(api_.ChiudePorta(), -1) << "the failure closed the link";
    ASSERT_EQ(api_.ResetEncoder(), 0);
    ExpectReadingAt(Posture(++seed));
  }
  // A register list has no echo or check byte to get wrong.
  for (const sim::Fault fault : {sim::Fault::WrongEcho, sim::Fault::CorruptBytes}) {
    SCOPED_TRACE(static_cast<int>(fault));
    ExpectSpoiltReplyForgotten(fault);
  }

  // Unplugged, the board answers nothing; gone, the port cannot even be opened.
  arm_->SetPlugged(false);
  ExpectFailedReading(-2);
  EXPECT_EQ(api_.ResetEncoder(), -2);
  arm_->SetPlugged(true);
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ExpectReadingAt(Posture(++seed));

  LosePort();
  ExpectFailedReading(-2);
  ExpectFailedReading(-1);
  EXPECT_EQ(api_.ResetEncoder(), -1);
  ASSERT_TRUE(RestorePort());
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ExpectTruthAlong(++seed, 4);
}

TEST_F(DriverTest, UsbBoardFaultsCloseTheLinkWithTheirCodeAndResetRecovers) {
  ASSERT_NO_FATAL_FAILURE(Begin("usb6_quaternion"));
  surroundings_.temperatures = {OnBoardGrid(21.0), OnBoardGrid(21.0), OnBoardGrid(21.0)};
  ASSERT_TRUE(arm_->SetTemperatures(surroundings_.temperatures));
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);

  std::uint32_t seed = 40;
  const std::pair<sim::Fault, std::int32_t> faults[] = {
      {sim::Fault::Silence, -11}, {sim::Fault::ShortReply, -11}, {sim::Fault::WrongEcho, -12}};
  for (const auto& [fault, code] : faults) {
    SCOPED_TRACE(static_cast<int>(fault));
    ASSERT_TRUE(arm_->SetJointAngles(Posture(++seed)));
    ASSERT_TRUE(arm_->InjectFault(fault));
    ExpectFailedReading(code);
    EXPECT_EQ(api_.ChiudePorta(), -1) << "the failure closed the link";
    ASSERT_EQ(api_.ResetEncoder(), 0);
    ExpectReadingAt(Posture(++seed));
  }
  // Counts spoilt behind a good echo.
  ExpectSpoiltReplyForgotten(sim::Fault::CorruptBytes);

  // Unplugged: the open pipes fail, then the arm cannot be opened until it is back.
  arm_->SetPlugged(false);
  ExpectFailedReading(-11);
  ExpectFailedReading(-1);
  EXPECT_EQ(api_.ResetEncoder(), -1);
  arm_->SetPlugged(true);
  ASSERT_EQ(api_.ResetEncoder(), 0);
  ExpectTruthAlong(++seed, 4);
}

// The rotating table: one target on the table measured at three table angles during the reset.
// The operator approaches each position along the table's axis, so the push by the probe radius
// moves the three points alike along the axis.
class RotatingTableTest : public DriverTest {
 protected:
  static constexpr int kTable = 6;  // the table channel's joint

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Begin("rotating_table"));
    ASSERT_TRUE(record_.options.tableChannel);
    ASSERT_TRUE(record_.options.motionDirection);
    // Three positions some 300 mm apart: far enough for a well-defined axis, near enough for
    // the table's grid to move them little.
    std::vector<std::vector<double>> starts(3, Posture(52));
    starts[1][0] += 20.0;
    starts[2][2] += 20.0;
    std::vector<Eigen::Vector3d> startPositions;
    for (const auto& degrees : starts) {
      startPositions.push_back(PositionOf(sim::ProbePose(record_, degrees)));
    }
    approach_ = -CircleThrough(startPositions[0], startPositions[1], startPositions[2]).normal;
    for (const auto& degrees : starts) {
      approaches_.push_back(sim::LineThenPress(record_, degrees, approach_, 80.0, 4));
      ASSERT_EQ(approaches_.back().size(), 6u);
      ends_.push_back(PositionOf(approaches_.back().back().pose));
    }
    circle_ = CircleThrough(ends_[0], ends_[1], ends_[2]);
    // The target turns with the table: the second and third positions are where the table has
    // turned the first, by the angle between them about the axis.
    for (std::size_t i = 0; i < 3; ++i) {
      const double turn = AngleAbout(circle_, ends_[0], ends_[i]) * 180.0 / std::numbers::pi;
      tableDegrees_[i] = sim::OnCountGrid(record_, kTable, 30.0 - turn);
      for (sim::MotionStep& step : approaches_[i]) step.degrees[kTable] = tableDegrees_[i];
    }
    const double firstTurn = AngleAbout(circle_, ends_[0], ends_[1]);
    ASSERT_GT(firstTurn, 0.1);
    ASSERT_LT(firstTurn, std::numbers::pi - 0.1);
  }

  // The table alignment the three pushed positions give: R (p - centre - push).
  sim::TableAlignment ExpectedAlignment() const {
    sim::TableAlignment alignment;
    const Eigen::Vector3d x = (ends_[0] - circle_.centre).normalized();
    Eigen::Matrix3d axes;
    axes.row(0) = x;
    axes.row(1) = circle_.normal.cross(x);
    axes.row(2) = circle_.normal;
    alignment.armToTable.topLeftCorner<3, 3>() = axes;
    alignment.armToTable.topRightCorner<3, 1>() =
        -axes * (circle_.centre + record_.probeRadius * approach_);
    alignment.referenceAngle =
        *std::max_element(tableDegrees_.begin(), tableDegrees_.end()) * std::numbers::pi / 180.0;
    return alignment;
  }

  // The gestures of the three points: each approach step, the press and the release.
  std::vector<Gesture> TakeTheThreePoints() {
    std::vector<Gesture> gestures;
    sim::VirtualArm& arm = *arm_;
    for (const auto& steps : approaches_) {
      for (const sim::MotionStep& step : steps) {
        gestures.push_back([&arm, &step] { return sim::ApplyStep(arm, step); });
      }
      gestures.push_back([&arm] { return arm.SetButton(1, false); });
    }
    return gestures;
  }

  // The table-frame position of the target at each of its three table angles.
  std::vector<Eigen::Vector3d> ReadTheTarget() {
    std::vector<Eigen::Vector3d> positions;
    for (const auto& steps : approaches_) {
      EXPECT_TRUE(arm_->SetJointAngles(steps.back().degrees));
      EXPECT_EQ(Read(), 0);
      positions.push_back(PositionOf(pose_));
    }
    return positions;
  }

  Eigen::Vector3d approach_;
  std::vector<std::vector<sim::MotionStep>> approaches_;
  std::vector<Eigen::Vector3d> ends_;
  Circle circle_;
  std::array<double, 3> tableDegrees_{};
};

TEST_F(RotatingTableTest, ResetAlignsTheTableOnThreePressesAndReadsInItsFrame) {
  ASSERT_TRUE(sim::ApplyStep(*arm_, approaches_[0].front()));
  Open();
  // The reset's own exchanges come first: identity, thresholds, configuration, calibration.
  const std::vector<Gesture> gestures = TakeTheThreePoints();
  const Acting reset =
      WhileOperatorActs(*arm_, 8, gestures, [this] { return api_.ResetEncoder(); });
  ASSERT_EQ(reset.result, 0);
  EXPECT_TRUE(reset.armAccepted);
  EXPECT_EQ(reset.gesturesMade, gestures.size());

  // The same target reads the same at each of its table angles.
  const auto target = ReadTheTarget();
  EXPECT_LE((target[1] - target[0]).norm(), kTableTolerance);
  EXPECT_LE((target[2] - target[0]).norm(), kTableTolerance);

  surroundings_.table = ExpectedAlignment();
  for (const sim::MotionStep& step : sim::WorkspaceSweep(record_, 54, 8, surroundings_)) {
    ASSERT_TRUE(sim::ApplyStep(*arm_, step));
    ASSERT_EQ(Read(), 0);
    const Eigen::Matrix4d error = Eigen::Map<const testing::RowMajor>(pose_.data()) - step.pose;
    EXPECT_LE(error.block(0, 3, 3, 1).cwiseAbs().maxCoeff(), kTableTolerance);
    EXPECT_LE(error.block(0, 0, 3, 3).cwiseAbs().maxCoeff(), kTableRotationTolerance);
  }

  // The next session keeps the stored table with the reuse button, or measures with the arm
  // only.
  ASSERT_NO_FATAL_FAILURE(Reload(Script("alignment reuse\nalignment cancel\n")));
  Open();
  ASSERT_EQ(api_.ResetEncoder(), 0);
  const auto reused = ReadTheTarget();
  EXPECT_LE((reused[1] - reused[0]).norm(), kTableTolerance);
  EXPECT_LE((reused[2] - reused[0]).norm(), kTableTolerance);
  ASSERT_EQ(api_.ResetEncoder(), 0);
  surroundings_.table.reset();
  for (const auto& steps : approaches_) ExpectReadingAt(steps.back().degrees);
}

}  // namespace
}  // namespace pilvo
