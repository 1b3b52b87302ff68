// pilvo-sim's demonstration: an arm that moves by itself. It first turns every joint over its
// reference mark (arms with marks), so that a driver's reset finds them, then travels through
// its workspace and takes a point with button 1 now and then, over and over. A person who moves
// the arm or its button through the control channel takes it over: the demonstration stands
// aside until the arm has been left alone for a while, then goes on from where the arm is.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <stop_token>
#include <vector>

#include "data/arm_record.h"

namespace pilvo::sim {

class VirtualArm;

// The demonstration moves its arms once a tick.
inline constexpr std::chrono::milliseconds kDemoTick{20};

// What the arm shows for one tick.
struct DemoFrame {
  std::vector<double> degrees;  // one per joint
  bool button1 = false;
  bool operator==(const DemoFrame&) const = default;
};

// From `from` to `to` at no more than a few degrees a tick on any joint, ending on `to`.
std::vector<DemoFrame> Travel(const std::vector<double>& from, const std::vector<double>& to);

// Button 1 pressed at `posture` for about 150 ms, with the arm at rest before and after.
std::vector<DemoFrame> TakePoint(const std::vector<double>& posture);

// Each joint in turn from `markAngles[j]` - 5 degrees to + 5 degrees, starting at `from`.
std::vector<DemoFrame> PassReferenceMarks(const std::vector<double>& from,
                                          const std::vector<double>& markAngles);

// Through the postures of a seeded workspace sweep of `arm`, starting at `from`, with a point
// taken at every fourth posture.
std::vector<DemoFrame> DemoCycle(const ArmRecord& arm, const std::vector<double>& from,
                                 std::uint32_t seed);

class DemoMotion {
 public:
  // Ticks the arm must be left alone before a demonstration that was taken over goes on.
  static constexpr int kIdleTicks = 250;

  DemoMotion(VirtualArm& arm, std::uint32_t seed);

  // One tick: the arm's next frame, unless someone else has moved the arm.
  void Step();

 private:
  void Apply(const DemoFrame& frame);
  DemoFrame Observe() const;

  VirtualArm& arm_;
  std::uint32_t seed_;
  bool marksPassed_ = false;
  std::deque<DemoFrame> frames_;
  std::optional<DemoFrame> applied_;  // the frame this demonstration set last
  DemoFrame idleSeen_;                // the arm as it was last seen while taken over
  int idleTicks_ = 0;
};

// Steps a demonstration of each arm every kDemoTick until `stop` is requested.
void RunDemo(std::stop_token stop, std::vector<VirtualArm*> arms);

}  // namespace pilvo::sim
