// The user frame and the rotating table from three points: the geometry's refusals, and what the
// profile keeps when an alignment fails, is cancelled or reused. The frames that a successful
// alignment gives are measured through the driver (driver_end_to_end_test).
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale>
#include <sstream>

#include <Eigen/Geometry>

#include "comma_locale.h"
#include "data/settings.h"
#include "measure/frame_geometry.h"
#include "scoped_config_dir.h"
#include "session/reference_frame.h"
#include "session/rotating_table.h"

namespace pilvo {
namespace {

constexpr double kTight = 1e-9;
constexpr double kStored = 5e-7;  // "%f" keeps six decimals

// Rows of the rotation Rz(a) Ry(b) Rx(c).
Pose Rotation(double a, double b, double c) {
  const Eigen::Matrix3d r = (Eigen::AngleAxisd(a, Eigen::Vector3d::UnitZ()) *
                             Eigen::AngleAxisd(b, Eigen::Vector3d::UnitY()) *
                             Eigen::AngleAxisd(c, Eigen::Vector3d::UnitX()))
                                .toRotationMatrix();
  Pose m = kIdentityPose;
  for (int i = 0; i < 9; ++i) m[4 * (i / 3) + i % 3] = r(i / 3, i % 3);
  return m;
}

template <std::size_t N>
void ExpectNear(const std::array<double, N>& actual, const std::array<double, N>& expected,
                double tolerance) {
  for (std::size_t i = 0; i < N; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

// "%f" as the C locale writes it, whatever the process's.
std::string Fixed(double value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << value;
  return text.str();
}

TEST(FrameFromThreePoints, FollowsOriginXThenTheSideOfYAndRefusesDegeneratePoints) {
  Pose frame;
  ASSERT_EQ(FrameFromThreePoints(frame, {5, 5, 0}, {15, 5, 0}, {5, 15, 0}), 0);
  ExpectNear(frame, kIdentityPose, kTight);
  // Y taken on the negative side: Z turns downwards and the frame stays right-handed.
  ASSERT_EQ(FrameFromThreePoints(frame, {0, 0, 0}, {10, 0, 0}, {3, -10, 0}), 0);
  ExpectNear(frame, Pose{1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}, kTight);

  const Pose before = frame;
  const Point3 o{1, 2, 3};
  for (const auto& [p1, p2] : {std::pair<Point3, Point3>{o, {5, 6, 7}},  // repeated
                               {{11, 2, 3}, {-30, 2, 3}},                // collinear
                               {{11, 2, 3}, {500, 2.05, 3}},             // within noise of it
                               {{11, 2, 3}, {5, NAN, 3}}}) {
    EXPECT_EQ(FrameFromThreePoints(frame, o, p1, p2), -1) << p2[0];
    EXPECT_EQ(frame, before);
  }
}

TEST(CircleThroughPoints, FindsCentreAndRadiusOfATiltedCircle) {
  const Pose tilt = Rotation(0.3, 1.1, -0.6);
  const Point3 centre{10, -20, 30};
  auto at = [&](double degrees) {
    const double t = degrees * kDegreesToRadians, u = 75 * std::cos(t), v = 75 * std::sin(t);
    return Point3{centre[0] + tilt[0] * u + tilt[4] * v, centre[1] + tilt[1] * u + tilt[5] * v,
                  centre[2] + tilt[2] * u + tilt[6] * v};
  };
  Point3 found;
  double radius = 0;
  ASSERT_EQ(CircleThroughPoints(at(10), at(50), at(130), found, radius), 0);
  ExpectNear(found, centre, kTight);
  EXPECT_NEAR(radius, 75, kTight);
  EXPECT_EQ(CircleThroughPoints({0, 0, 0}, {1, 1, 1}, {2, 2, 2}, found, radius), -1);
}

// Each test gets its own settings folder.
class StoredFrames : public ::testing::Test {
 protected:
  // A dialog of `expected` variant that answers `answer`.
  AlignmentDialog Dialog(const AlignmentAcquisition& answer,
                         AlignmentVariant expected = AlignmentVariant::RotatingTable) {
    return [this, answer, expected](AlignmentVariant variant, bool offerReuse) {
      EXPECT_EQ(variant, expected);
      offeredReuse_ = offerReuse;
      return answer;
    };
  }
  static AlignmentAcquisition Points(const Point3& first, const Point3& second, const Point3& third,
                                     std::array<double, 3> angles = {}) {
    Pose pose = kIdentityPose;
    std::tie(pose[3], pose[7], pose[11]) = std::tie(first[0], first[1], first[2]);
    return {AlignmentClose::Ok, 0, pose, second, third, angles};
  }
  static AlignmentAcquisition Closed(AlignmentClose close) {
    AlignmentAcquisition closed;
    closed.close = close;
    return closed;
  }
  std::string Stored(std::string_view section, std::string_view key, std::string_view store) const {
    return GetSettingString(section, key, "missing", config_.Store(store));
  }
  SettingsStore Table() const { return config_.Store(kRotatingTableFile); }
  SettingsStore Profile() const { return config_.Store(kWizardProfileStore); }

  testing::ScopedConfigDir config_{"reference_frame_test"};
  bool offeredReuse_ = false;
};

// Points that define no frame keep the frame in use and store nothing; a failed reading leaves
// the arm's frame.
TEST_F(StoredFrames, UserFrameFailuresKeepTheFrame) {
  FrameState frames;
  frames.frameRotation = Rotation(0.1, 0.2, 0.3);
  frames.frameOffset = {1, 2, 3};
  frames.frameActive = true;
  const FrameState before = frames;
  const auto user = AlignmentVariant::UserFrame;
  EXPECT_EQ(RuotaTerna(1, false, frames, Profile(), nullptr), -1) << "not connected";
  for (const auto& [second, third] :
       {std::pair<Point3, Point3>{{0, 0, 0}, {0, 10, 0}}, {{10, 0, 0}, {25, 0, 0}}}) {
    EXPECT_EQ(RuotaTerna(1, true, frames, Profile(), Dialog(Points({}, second, third), user)), -2);
    EXPECT_TRUE(frames.frameActive);
    EXPECT_EQ(frames.frameRotation, before.frameRotation);
    EXPECT_EQ(frames.frameOffset, before.frameOffset);
  }
  EXPECT_EQ(Stored("Terna", "matRif_00", kWizardProfileStore), "missing");

  AlignmentAcquisition failed;
  failed.errorCode = -11;
  EXPECT_EQ(RuotaTerna(1, true, frames, Profile(), Dialog(failed, user)), -2);
  EXPECT_FALSE(frames.frameActive);
  EXPECT_EQ(frames.frameRotation, before.frameRotation);
}

// After a restart the reuse button applies the stored matrix with the stored angle; a file from
// before the angle was kept reads it as 0.
TEST_F(StoredFrames, TableAlignmentIsStoredAndItsAngleOutlivesTheProcess) {
  FrameState frames;
  ASSERT_EQ(AlignRotatingTable(
                false, frames,
                Dialog(Points({100, 0, 7}, {0, 100, 7}, {-100, 0, 7}, {0.1, 0.9, 0.5})), Table()),
            0);
  EXPECT_FALSE(offeredReuse_);
  EXPECT_TRUE(frames.tableAligned);
  ExpectNear(frames.tableMatrix, Pose{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -7, 0, 0, 0, 1}, kTight);
  EXPECT_EQ(Stored("TavolaRotante", "angRif", kRotatingTableFile), Fixed(0.9));
  EXPECT_EQ(Stored("TavolaRotante", "matRif_23", kRotatingTableFile), Fixed(-7));
  EXPECT_EQ(Stored("TavolaRotante", "matRif-21", kRotatingTableFile), "missing");

  FrameState restarted;
  LoadTableMatrix(restarted, Table());
  EXPECT_FALSE(restarted.tableAligned);
  ASSERT_EQ(AlignRotatingTable(true, restarted, Dialog(Closed(AlignmentClose::Reuse)), Table()), 0);
  EXPECT_TRUE(offeredReuse_);
  EXPECT_TRUE(restarted.tableAligned);
  EXPECT_NEAR(restarted.tableReferenceAngle, 0.9, kStored);
  ExpectNear(restarted.tableMatrix, frames.tableMatrix, kStored);

  ASSERT_TRUE(WriteSettingString("TavolaRotante", "angRif", std::nullopt, Table()));
  LoadTableMatrix(restarted, Table());
  EXPECT_EQ(restarted.tableReferenceAngle, 0.0);
  ExpectNear(restarted.tableMatrix, frames.tableMatrix, kStored);
}

TEST_F(StoredFrames, TableRefusalsAndCancelsKeepTheMatrix) {
  FrameState frames;
  frames.tableMatrix = Rotation(0.4, 0.5, 0.6);
  frames.tableReferenceAngle = 0.25;
  frames.tableAligned = true;
  const FrameState before = frames;
  auto expectKept = [&](bool aligned) {
    EXPECT_EQ(frames.tableMatrix, before.tableMatrix);
    EXPECT_EQ(frames.tableReferenceAngle, before.tableReferenceAngle);
    EXPECT_EQ(frames.tableAligned, aligned);
  };
  // A repeated position, then opposite positions, which leave the sense of Z undefined.
  for (const auto& answer : {Points({100, 0, 0}, {100, 0, 0}, {0, 100, 0}),
                             Points({100, 0, 0}, {-100, 0, 0}, {0, 100, 0})}) {
    EXPECT_EQ(AlignRotatingTable(false, frames, Dialog(answer), Table()), -2);
    expectKept(false);
  }
  EXPECT_EQ(Stored("TavolaRotante", "matRif_00", kRotatingTableFile), "missing");
  EXPECT_EQ(AlignRotatingTable(true, frames, Dialog(Closed(AlignmentClose::Reuse)), Table()), 0);
  expectKept(true);
  EXPECT_EQ(AlignRotatingTable(true, frames, Dialog({}), Table()), 0);
  expectKept(false);
}

// The profile keeps the user frame under its own keys, in "." numbers even when the host has set
// a locale with a decimal comma; mode 0 leaves the arm's frame.
TEST_F(StoredFrames, UserFrameKeysAndNumbersIgnoreTheHostLocale) {
  testing::SetCommaLocale();
  FrameState frames;
  ASSERT_EQ(
      RuotaTerna(1, true, frames, Profile(),
                 Dialog(Points({1, 2, 3}, {11, 2, 3}, {3, 12.5, 6}), AlignmentVariant::UserFrame)),
      0);
  FrameState loaded;
  LeggeTerna(loaded, Profile());
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Stored("Terna", "matRif_00", kWizardProfileStore), "1.000000");
  EXPECT_EQ(Stored("Terna", "matRif-21", kWizardProfileStore), Fixed(frames.frameRotation[9]));
  EXPECT_EQ(Stored("Terna", "matRif_21", kWizardProfileStore), "missing");
  ExpectNear(loaded.frameRotation, frames.frameRotation, kStored);

  ASSERT_EQ(RuotaTerna(0, false, frames, Profile(), nullptr), 0);
  EXPECT_FALSE(frames.frameActive);
  EXPECT_EQ(frames.frameRotation, kIdentityPose);
  EXPECT_EQ(frames.frameOffset, Point3{});
}

}  // namespace
}  // namespace pilvo
