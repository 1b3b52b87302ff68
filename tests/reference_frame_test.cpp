#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <locale>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include <Eigen/Geometry>

#include "comma_locale.h"
#include "data/settings.h"
#include "measure/frame_geometry.h"
#include "scoped_config_dir.h"
#include "session/reference_frame.h"
#include "session/rotating_table.h"

namespace pilvo {
namespace {

namespace fs = std::filesystem;

constexpr double kTight = 1e-9;
constexpr double kStored = 5e-7;  // "%f" keeps six decimals

Point3 Apply(const Pose& m, const Point3& p) {
  Point3 out;
  for (int r = 0; r < 3; ++r) {
    out[r] = m[4 * r] * p[0] + m[4 * r + 1] * p[1] + m[4 * r + 2] * p[2] + m[4 * r + 3];
  }
  return out;
}

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

// Base coordinates of the point u of a frame with axes the rows of r and origin o.
Point3 ToBase(const Pose& r, const Point3& o, const Point3& u) {
  Point3 p;
  for (int i = 0; i < 3; ++i) p[i] = o[i] + r[i] * u[0] + r[4 + i] * u[1] + r[8 + i] * u[2];
  return p;
}

template <std::size_t N>
void ExpectNear(const std::array<double, N>& actual, const std::array<double, N>& expected,
                double tolerance) {
  for (std::size_t i = 0; i < N; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

Pose PoseAt(const Point3& p) {
  return {1, 0, 0, p[0], 0, 1, 0, p[1], 0, 0, 1, p[2], 0, 0, 0, 1};
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
    const double t = degrees * kDegreesToRadians;
    return ToBase(tilt, centre, {75 * std::cos(t), 75 * std::sin(t), 0});
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
  testing::ScopedConfigDir config_{"reference_frame_test"};

  // A dialog of `expected` variant that answers `answer`.
  AlignmentDialog Dialog(const AlignmentAcquisition& answer,
                         AlignmentVariant expected = AlignmentVariant::UserFrame) {
    return [this, answer, expected](AlignmentVariant variant, bool offerReuse) {
      EXPECT_EQ(variant, expected);
      offeredReuse_ = offerReuse;
      ++runs_;
      return answer;
    };
  }
  static AlignmentAcquisition Points(const Point3& first, const Point3& second, const Point3& third,
                                     std::array<double, 3> angles = {}) {
    return {AlignmentClose::Ok, 0, PoseAt(first), second, third, angles};
  }
  std::string Stored(std::string_view section, std::string_view key, std::string_view store) const {
    return GetSettingString(section, key, "missing", config_.Store(store));
  }
  // Where the rotating table is kept.
  SettingsStore Table() const { return config_.Store(kRotatingTableFile); }

  int runs_ = 0;
  bool offeredReuse_ = false;
};

TEST_F(StoredFrames, UserFrameMapsBasePointsToWorkpiecePointsAndRoundTrips) {
  const Pose truth = Rotation(0.5, 0.25, -1.0);
  const Point3 origin{-210, 35.5, 120};
  FrameState frames;
  ASSERT_EQ(RuotaTerna(1, true, frames, config_.Store(kWizardProfileStore),
                       Dialog(Points(origin, ToBase(truth, origin, {30, 0, 0}),
                                     ToBase(truth, origin, {-4, 20, 0})))),
            0);
  EXPECT_TRUE(frames.frameActive);
  const Point3 u{-7.5, 31.0, 12.25};
  const Point3 p = Apply(frames.frameRotation, ToBase(truth, origin, u));
  const auto& t = frames.frameOffset;
  ExpectNear(Point3{p[0] - t[0], p[1] - t[1], p[2] - t[2]}, u, kTight);

  EXPECT_EQ(Stored("Terna", "matRif-21", kWizardProfileStore), Fixed(truth[9]));
  EXPECT_EQ(Stored("Terna", "matRif_21", kWizardProfileStore), "missing");
  EXPECT_EQ(Stored("Terna", "ref1_13", kWizardProfileStore), Fixed(t[1]));

  const FrameState taken = frames;
  ASSERT_EQ(RuotaTerna(0, false, frames, config_.Store(kWizardProfileStore), nullptr), 0);
  EXPECT_FALSE(frames.frameActive);
  EXPECT_EQ(frames.frameRotation, kIdentityPose);
  EXPECT_EQ(frames.frameOffset, Point3{});
  ASSERT_EQ(LeggeTerna(frames, config_.Store(kWizardProfileStore)), 0);
  EXPECT_TRUE(frames.frameActive);
  ExpectNear(frames.frameRotation, taken.frameRotation, kStored);
  ExpectNear(frames.frameOffset, taken.frameOffset, kStored);
}

TEST_F(StoredFrames, UserFrameFailuresAndCancelsKeepTheFrame) {
  FrameState frames;
  frames.frameRotation = Rotation(0.1, 0.2, 0.3);
  frames.frameOffset = {1, 2, 3};
  frames.frameActive = true;
  const FrameState before = frames;
  auto expectKept = [&](bool active) {
    EXPECT_EQ(frames.frameRotation, before.frameRotation);
    EXPECT_EQ(frames.frameOffset, before.frameOffset);
    EXPECT_EQ(frames.frameActive, active);
  };
  const auto good = Dialog(Points({0, 0, 0}, {10, 0, 0}, {0, 10, 0}));
  EXPECT_EQ(RuotaTerna(2, true, frames, config_.Store(kLibraryProfileStore), good), -3);
  EXPECT_EQ(RuotaTerna(1, false, frames, config_.Store(kLibraryProfileStore), good), -1);
  EXPECT_EQ(runs_, 0);
  EXPECT_EQ(RuotaTerna(1, true, frames, config_.Store(kLibraryProfileStore), Dialog({})), 0);
  expectKept(true);
  for (const auto& [second, third] :
       {std::pair<Point3, Point3>{{0, 0, 0}, {0, 10, 0}}, {{10, 0, 0}, {25, 0, 0}}}) {
    EXPECT_EQ(RuotaTerna(1, true, frames, config_.Store(kLibraryProfileStore),
                         Dialog(Points({0, 0, 0}, second, third))),
              -2);
    expectKept(true);
  }
  EXPECT_EQ(Stored("Terna", "matRif_00", kLibraryProfileStore), "missing");

  AlignmentAcquisition failed;
  failed.errorCode = -11;
  EXPECT_EQ(RuotaTerna(1, true, frames, config_.Store(kLibraryProfileStore), Dialog(failed)), -2);
  expectKept(false);
}

TEST_F(StoredFrames, TableAlignmentPutsTheAxisOnZAndIsStoredAndLoaded) {
  // The target turns on a tilted table at radius 60, 12 above the point `axis` of its axis.
  const Pose tilt = Rotation(-0.2, 0.15, 0.05);
  const Point3 axis{400, 150, -80};
  auto at = [&](double degrees) {
    const double t = degrees * kDegreesToRadians;
    return ToBase(tilt, axis, {60 * std::cos(t), 60 * std::sin(t), 12});
  };
  FrameState frames;
  ASSERT_EQ(AlignRotatingTable(true, frames,
                               Dialog(Points(at(10), at(50), at(30), {0.1, 0.9, 0.5}),
                                      AlignmentVariant::RotatingTable),
                               Table()),
            0);
  EXPECT_TRUE(offeredReuse_);
  EXPECT_TRUE(frames.tableAligned);
  EXPECT_DOUBLE_EQ(frames.tableReferenceAngle, 0.9);
  const double turn = 40 * kDegreesToRadians;
  ExpectNear(Apply(frames.tableMatrix, at(10)), Point3{60, 0, 0}, kTight);
  ExpectNear(Apply(frames.tableMatrix, at(50)), Point3{60 * std::cos(turn), 60 * std::sin(turn), 0},
             kTight);
  ExpectNear(Apply(frames.tableMatrix, ToBase(tilt, axis, {0, 0, 30})), Point3{0, 0, 18}, kTight);

  EXPECT_EQ(Stored("TavolaRotante", "matRif_21", kRotatingTableFile), Fixed(frames.tableMatrix[9]));
  EXPECT_EQ(Stored("TavolaRotante", "matRif-21", kRotatingTableFile), "missing");
  FrameState loaded;
  LoadTableMatrix(loaded, Table());
  EXPECT_FALSE(loaded.tableAligned);
  ExpectNear(loaded.tableMatrix, frames.tableMatrix, kStored);
}

// After a restart the reuse button applies the stored angle with the stored matrix; a file from
// before the angle was kept reads it as 0.
TEST_F(StoredFrames, TableReferenceAngleOutlivesTheProcess) {
  FrameState frames;
  ASSERT_EQ(
      AlignRotatingTable(false, frames,
                         Dialog(Points({100, 0, 0}, {0, 100, 0}, {-100, 0, 0}, {0.1, 0.9, 0.5}),
                                AlignmentVariant::RotatingTable),
                         Table()),
      0);
  EXPECT_EQ(Stored("TavolaRotante", "angRif", kRotatingTableFile), Fixed(0.9));

  FrameState restarted;
  LoadTableMatrix(restarted, Table());
  AlignmentAcquisition reuse;
  reuse.close = AlignmentClose::Reuse;
  ASSERT_EQ(
      AlignRotatingTable(true, restarted, Dialog(reuse, AlignmentVariant::RotatingTable), Table()),
      0);
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
    EXPECT_EQ(
        AlignRotatingTable(false, frames, Dialog(answer, AlignmentVariant::RotatingTable), Table()),
        -2);
    expectKept(false);
  }
  EXPECT_EQ(Stored("TavolaRotante", "matRif_00", kRotatingTableFile), "missing");

  AlignmentAcquisition reuse;
  reuse.close = AlignmentClose::Reuse;
  EXPECT_EQ(
      AlignRotatingTable(true, frames, Dialog(reuse, AlignmentVariant::RotatingTable), Table()), 0);
  expectKept(true);
  EXPECT_EQ(AlignRotatingTable(true, frames, Dialog({}, AlignmentVariant::RotatingTable), Table()),
            0);
  expectKept(false);
}

// A host that sets a locale with a decimal comma must still store and read "." numbers.
TEST_F(StoredFrames, NumbersIgnoreTheHostLocale) {
  const char* commaLocale = testing::SetCommaLocale();
  if (!commaLocale) GTEST_SKIP() << "no locale with a decimal comma is installed";
  FrameState frames;
  RuotaTerna(1, true, frames, config_.Store(kWizardProfileStore),
             Dialog(Points({0, 0, 0}, {10, 0, 0}, {2, 10.5, 0})));
  FrameState loaded;
  LeggeTerna(loaded, config_.Store(kWizardProfileStore));
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Stored("Terna", "matRif_00", kWizardProfileStore), "1.000000");
  ExpectNear(loaded.frameRotation, frames.frameRotation, kStored);
}

}  // namespace
}  // namespace pilvo
