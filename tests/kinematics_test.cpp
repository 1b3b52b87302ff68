// The kinematic model against the virtual arm's own forward kinematics on every demo arm, the
// model kept between readings, and the motion tracker with its probe-radius push.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include "demo_arm.h"
#include "measure/kinematics.h"
#include "pose_expectations.h"
#include "sim/forward_kinematics.h"

namespace pilvo {
namespace {

using testing::DemoArm;
using testing::ExpectSamePose;
using testing::RowMajor;

void ForEveryDemoArm(const std::function<void(const ArmRecord&)>& property) {
  for (const char* name : {"usb6_quaternion", "serial6_dh_marks", "five_joint", "rotating_table"}) {
    SCOPED_TRACE(name);
    property(DemoArm(name));
  }
}

Pose ToPose(const Eigen::Matrix4d& matrix) {
  Pose pose;
  Eigen::Map<RowMajor>(pose.data()) = matrix;
  return pose;
}

// What the driver gets for one reading.
struct Reading {
  std::array<double, kMaxJoints> counts{};
  std::array<double, 3> temperatures{21.0, 21.0, 21.0};
  std::array<double, 3> reference{21.0, 21.0, 21.0};
  FrameState frames;
};

Pose DriverPose(const ArmRecord& arm, const Reading& reading, MotionTracker& tracker) {
  std::array<float, kMaxParameters> parameters = arm.parameters;
  Pose pose{};
  EXPECT_EQ(ComputeProbeTransform(parameters, arm, CountsPerDegree(arm), reading.counts,
                                  arm.secondJointCorrectionCount, reading.temperatures,
                                  reading.reference, reading.frames, tracker, pose),
            0);
  return pose;
}

Pose DriverPose(const ArmRecord& arm, const Reading& reading) {
  MotionTracker tracker;
  return DriverPose(arm, reading, tracker);
}

// A seeded random posture on the count grid, with the same surroundings for both sides.
struct Posture {
  std::vector<double> degrees;
  Reading reading;
  sim::ArmSurroundings surroundings;
};

Eigen::Matrix3d RandomRotation(std::mt19937& random) {
  std::normal_distribution<double> normal;
  return Eigen::Quaterniond(normal(random), normal(random), normal(random), normal(random))
      .normalized()
      .toRotationMatrix();
}

Posture RandomPosture(const ArmRecord& arm, std::mt19937& random) {
  Posture posture;
  Reading& reading = posture.reading;
  for (int joint = 0; joint < arm.jointCount; ++joint) {
    const double countsPerTurn = 4.0 * arm.encoderLines[joint];
    const double count = std::uniform_int_distribution<int>(-arm.encoderLines[joint] * 2,
                                                            arm.encoderLines[joint] * 2)(random);
    posture.degrees.push_back(count * 360.0 / countsPerTurn);
    reading.counts[joint] = count;
  }
  if (arm.options.secondJointCorrection && arm.jointCount > 1) {
    // The counter value that the correction c + (lines + c) k / lines turns into the angle.
    const double lines = arm.encoderLines[1];
    const double k = arm.secondJointCorrectionCount;
    reading.counts[1] = (posture.degrees[1] * 4.0 * lines / 360.0 - k) / (1.0 + k / lines);
  }
  std::uniform_real_distribution<double> temperature(15.0, 30.0);
  reading.reference = UnpackReferenceTemperatures(arm.referenceTemperaturesPacked);
  reading.temperatures = {temperature(random), temperature(random), temperature(random)};
  posture.surroundings.temperatures = reading.temperatures;
  posture.surroundings.referenceTemperatures = reading.reference;

  std::bernoulli_distribution coin;
  std::uniform_real_distribution<double> offset(-500.0, 500.0);
  if (coin(random)) {
    sim::TableAlignment table;
    const Eigen::Matrix3d axes = RandomRotation(random);
    const Eigen::Vector3d centre(offset(random), offset(random), offset(random));
    table.armToTable.topLeftCorner<3, 3>() = axes;
    table.armToTable.topRightCorner<3, 1>() = -axes * centre;
    table.referenceAngle =
        std::uniform_real_distribution<double>(0.0, 2 * std::numbers::pi)(random);
    reading.frames.tableAligned = true;
    reading.frames.tableMatrix = ToPose(table.armToTable);
    reading.frames.tableReferenceAngle = table.referenceAngle;
    posture.surroundings.table = table;
  }
  if (coin(random)) {
    const sim::UserFrame frame{RandomRotation(random),
                               Eigen::Vector3d(offset(random), offset(random), offset(random))};
    Eigen::Matrix4d rotation = Eigen::Matrix4d::Identity();
    rotation.topLeftCorner<3, 3>() = frame.axes;
    reading.frames.frameActive = true;
    reading.frames.frameRotation = ToPose(rotation);
    reading.frames.frameOffset = {frame.offset.x(), frame.offset.y(), frame.offset.z()};
    posture.surroundings.userFrame = frame;
  }
  return posture;
}

// The virtual arm keeps its thermally grown lengths as floats, as the driver does, so even the
// thermal cases agree to the tight tolerances.
TEST(KinematicsAgainstVirtualArm, DriverPoseIsTheArmsTruthInRandomPostures) {
  ForEveryDemoArm([](const ArmRecord& demo) {
    std::mt19937 random(20240611);
    for (int variant = 0; variant < 8; ++variant) {
      SCOPED_TRACE("variant " + std::to_string(variant));
      ArmRecord arm = demo;
      arm.options.temperatureCompensation = (variant & 1) != 0;
      arm.options.secondJointCorrection = (variant & 2) != 0;
      arm.options.tableChannel = (variant & 4) != 0;
      if (arm.secondJointCorrectionCount == 0) arm.secondJointCorrectionCount = 25;
      for (int trial = 0; trial < 20; ++trial) {
        const Posture posture = RandomPosture(arm, random);
        ExpectSamePose(DriverPose(arm, posture.reading),
                       sim::ProbePose(arm, posture.degrees, posture.surroundings));
      }
    }
  });
}

// The three lengths that grow with the temperature, on the layouts the demo arms lack as well:
// the truth above checks how they grow.
TEST(KinematicsEdgeCases, ThermalSegmentsOfEveryLayout) {
  const struct {
    int modelType, joints;
    std::array<int, 3> lengths;
  } layouts[] = {{0, 5, {5, 12, 20}},
                 {0, 6, {8, 16, 24}},
                 {1, 5, {5, 23, 35}},
                 {1, 6, {17, 29, 41}},
                 {1, 7, {17, 29, 47}}};
  for (const auto& layout : layouts) {
    ArmRecord arm;
    arm.modelType = layout.modelType;
    arm.jointCount = layout.joints;
    EXPECT_EQ(SegmentLengthIndices(arm), layout.lengths)
        << layout.modelType << " " << layout.joints;
  }
}

// A session builds the model once and keeps it while the working record's parameters and
// layout stay as they were; a model that kept a stale angle or length would show here.
TEST(KinematicModel, ServesEveryReadingUntilTheParametersOrLayoutChange) {
  ForEveryDemoArm([](const ArmRecord& demo) {
    ArmRecord arm = demo;
    arm.options.temperatureCompensation = true;
    const KinematicModel model = BuildKinematicModel(arm.parameters, arm);
    std::mt19937 random(13);
    for (int trial = 0; trial < 5; ++trial) {
      const Reading reading = RandomPosture(arm, random).reading;
      std::array<float, kMaxParameters> parameters = arm.parameters;
      MotionTracker tracker;
      Pose pose{};
      ComputeProbeTransform(model, parameters, arm, CountsPerDegree(arm), reading.counts,
                            arm.secondJointCorrectionCount, reading.temperatures, reading.reference,
                            reading.frames, tracker, pose);
      EXPECT_EQ(pose, DriverPose(arm, reading)) << "the lengths grow from the copy";
    }
    EXPECT_TRUE(ModelFits(model, arm.parameters, arm));

    const std::function<void(ArmRecord&)> changes[] = {
        [](ArmRecord& a) { a.parameters[2] = std::nextafter(a.parameters[2], 1e9f); },
        [](ArmRecord& a) { a.parameters[kMaxParameters - 1] = 1.0f; },
        [](ArmRecord& a) { --a.jointCount; }, [](ArmRecord& a) { a.modelType = 1 - a.modelType; },
        [](ArmRecord& a) { a.options.tableChannel = !a.options.tableChannel; }};
    for (const auto& change : changes) {
      ArmRecord changed = arm;
      change(changed);
      EXPECT_FALSE(ModelFits(model, changed.parameters, changed));
    }
  });
}

Pose At(double x, double y, double z) {
  Pose pose = kIdentityPose;
  pose[3] = x;
  pose[7] = y;
  pose[11] = z;
  return pose;
}

TEST(MotionTracker, StepsMustExceedTheirThresholdsAndTheLastTenFeedThePush) {
  MotionTracker tracker;
  tracker.clientSession = 1;
  TrackMotion(At(0.3, 0, 0), tracker);  // a step of exactly 0.3 mm
  EXPECT_EQ(std::tuple(tracker.acceptedCount, tracker.currentPosition),
            std::tuple(0, Position{0.3, 0, 0}));
  TrackMotion(At(0.5, 0, 0), tracker);
  TrackMotion(At(1.5, 0, 0), tracker);  // a step of exactly 1.0 mm: no direction
  EXPECT_EQ(std::tuple(tracker.acceptedCount, tracker.ringSteps[1], tracker.direction),
            std::tuple(2, 1.0, Position{}));
  TrackMotion(At(1.5, 0, 2.0), tracker);
  TrackMotion(At(1.5, 0, 4.0), tracker);
  // The direction from the running midpoint.
  EXPECT_EQ(std::tuple(tracker.direction, tracker.midpoint, tracker.lastAcceptedPosition),
            std::tuple(Position{0.375, 0, 1.5}, Position{1.125, 0, 2.5}, Position{1.5, 0, 4.0}));

  // Without a client session: the probe axis.
  MotionTracker noSession;
  Pose tilted = At(9, 9, 9);
  tilted[2] = 0.6;
  tilted[10] = 0.8;
  TrackMotion(tilted, noSession);
  EXPECT_EQ(std::tuple(noSession.direction, noSession.acceptedCount),
            std::tuple(Position{0.6, 0, 0.8}, 0));

  // Twelve steps: the ring keeps the last ten, and the bent last step weighs differently in a
  // fit of nine.
  MotionTracker ring;
  ring.clientSession = 1;
  for (int step = 1; step <= 12; ++step) TrackMotion(At(2.0 * step, step == 12, 0), ring);
  EXPECT_EQ(
      std::tuple(ring.acceptedCount, ring.ringIndex, ring.ringPositions[1], ring.ringPositions[2]),
      std::tuple(12, 2, Position{24, 1, 0}, Position{6, 0, 0}));
  std::array<double, 6> line{};
  ASSERT_EQ(FitMotionLine(ring.ringPositions, line), kFitDone);
  const double sign = line[3] > 0 ? 1.0 : -1.0;
  ArmRecord arm;
  arm.probeRadius = 2.0f;
  Pose pose = At(24, 1, 0);
  ApplyMotionOffset(arm, ring, pose);
  EXPECT_NEAR(pose[3], 24 + 2 * sign * line[3], 1e-6);
  EXPECT_NEAR(pose[7], 1 + 2 * sign * line[4], 1e-6);
  EXPECT_EQ(std::tuple(ring.acceptedCount, ring.ringIndex), std::tuple(0, 0));
}

TEST(MotionTracker, PushFollowsTheTravelAlongTheDominantAxis) {
  struct Case {
    Position second;   // the ring holds the origin and this
    Position current;  // the latest reading
    int axis;          // expected dominant axis
    double travel;     // sign of current - centroid on that axis; 0 negates the fit
  };
  // The other axes travel the other way, so a wrong axis shows. Symmetric points fit with
  // exactly equal components, which tests the ties.
  const Case cases[] = {{{10, 3, -2}, {6, 0, 0}, 0, 1},  {{2, 10, 3}, {0, 6, 0}, 1, 1},
                        {{4, 1, 10}, {3, 0, 4}, 2, -1},  {{10, 10, 0}, {4, 6, 0}, 1, 1},
                        {{10, 0, 10}, {6, 0, 4}, 2, -1}, {{10, 0, 0}, {5, 1, 0}, 0, 0},
                        {{-10, 0, 0}, {-5, 1, 0}, 0, 0}, {{0, 10, 10}, {0, 6, 4}, 2, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("axis " + std::to_string(c.axis));
    MotionTracker tracker;
    tracker.ringPositions[1] = c.second;
    tracker.acceptedCount = 2;
    tracker.currentPosition = c.current;
    std::array<double, 6> line{};
    ASSERT_EQ(FitMotionLine(std::span(tracker.ringPositions).first(2), line), kFitDone);
    Pose pose = At(0, 0, 0);
    ApplyMotionOffset(ArmRecord{}, tracker, pose);
    const double fitted = line[3 + c.axis];
    const double expectedSign = c.travel != 0 ? c.travel * (fitted > 0 ? 1 : -1) : -1;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(tracker.direction[i], expectedSign * line[3 + i]);
      EXPECT_EQ(pose[4 * i + 3], 2.0 * tracker.direction[i]);  // default radius 2 mm
    }
  }

  MotionTracker single;
  single.acceptedCount = 1;
  single.direction = {0, 0, 1};
  Pose pose = At(1, 2, 3);
  ApplyMotionOffset(ArmRecord{}, single, pose);
  EXPECT_EQ(pose, At(1, 2, 5)) << "one step: the tracker's own direction";
}

TEST(MotionTracker, OnlySixParameterChainsWithTheOptionFeedIt) {
  ForEveryDemoArm([](const ArmRecord& demo) {
    std::mt19937 random(5);
    const Reading reading = RandomPosture(demo, random).reading;
    for (const bool option : {false, true}) {
      ArmRecord arm = demo;
      arm.options.motionDirection = option;
      MotionTracker tracker;
      tracker.clientSession = 1;
      const Pose pose = DriverPose(arm, reading, tracker);
      MotionTracker untouched;
      untouched.clientSession = 1;
      if (option && arm.modelType == 1) {
        EXPECT_EQ(std::tuple(tracker.currentPosition, tracker.acceptedCount),
                  std::tuple(Position{pose[3], pose[7], pose[11]}, 1));
      } else {
        EXPECT_EQ(tracker, untouched);
      }
    }
  });
}

TEST(FitMotionLine, RefusesWhatItCannotFit) {
  const std::array<double, 6> before{1, 2, 3, 4, 5, 6};
  std::array<double, 6> line = before;
  const std::array<Position, 2> points{
      {{1, 2, 3}, {std::numeric_limits<double>::quiet_NaN(), 0, 0}}};
  EXPECT_EQ(FitMotionLine(std::span(points).first(1), line), kFitTooFewPoints);
  EXPECT_EQ(FitMotionLine(points, line), kFitFailed);
  EXPECT_EQ(line, before);
}

}  // namespace
}  // namespace pilvo
