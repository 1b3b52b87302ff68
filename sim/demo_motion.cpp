#include "sim/demo_motion.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "sim/motions.h"
#include "sim/virtual_arm.h"

namespace pilvo::sim {
namespace {

constexpr double kMaxDegreesPerTick = 2.0;  // 100 degrees a second
constexpr double kMarkSwing = 5.0;          // degrees either side of a reference mark
constexpr int kRestTicksBefore = 5;
constexpr int kPressTicks = 8;  // 160 ms, a short press as a person's thumb gives it
constexpr int kRestTicksAfter = 10;
constexpr int kSweepPostures = 8;
constexpr int kPosturesPerPoint = 4;

void Append(std::vector<DemoFrame>& frames, const std::vector<DemoFrame>& more) {
  frames.insert(frames.end(), more.begin(), more.end());
}

void Hold(std::vector<DemoFrame>& frames, const std::vector<double>& posture, bool button1,
          int ticks) {
  frames.insert(frames.end(), static_cast<std::size_t>(ticks), DemoFrame{posture, button1});
}

}  // namespace

std::vector<DemoFrame> Travel(const std::vector<double>& from, const std::vector<double>& to) {
  double largest = 0.0;
  std::vector<double> start(to.size(), 0.0);
  for (std::size_t joint = 0; joint < to.size(); ++joint) {
    if (joint < from.size()) start[joint] = from[joint];
    largest = std::max(largest, std::abs(to[joint] - start[joint]));
  }
  const int ticks = std::max(1, static_cast<int>(std::ceil(largest / kMaxDegreesPerTick)));
  std::vector<DemoFrame> frames;
  for (int tick = 1; tick <= ticks; ++tick) {
    const double along = static_cast<double>(tick) / ticks;
    DemoFrame frame{start, false};
    for (std::size_t joint = 0; joint < to.size(); ++joint) {
      frame.degrees[joint] += along * (to[joint] - start[joint]);
    }
    frames.push_back(std::move(frame));
  }
  frames.back().degrees = to;
  return frames;
}

std::vector<DemoFrame> TakePoint(const std::vector<double>& posture) {
  std::vector<DemoFrame> frames;
  Hold(frames, posture, false, kRestTicksBefore);
  Hold(frames, posture, true, kPressTicks);
  Hold(frames, posture, false, kRestTicksAfter);
  return frames;
}

std::vector<DemoFrame> PassReferenceMarks(const std::vector<double>& from,
                                          const std::vector<double>& markAngles) {
  std::vector<DemoFrame> frames;
  std::vector<double> posture = from;
  for (std::size_t joint = 0; joint < markAngles.size() && joint < posture.size(); ++joint) {
    for (const double side : {-kMarkSwing, kMarkSwing}) {
      std::vector<double> next = posture;
      next[joint] = markAngles[joint] + side;
      Append(frames, Travel(posture, next));
      posture = std::move(next);
    }
  }
  return frames;
}

std::vector<DemoFrame> DemoCycle(const ArmRecord& arm, const std::vector<double>& from,
                                 std::uint32_t seed) {
  std::vector<DemoFrame> frames;
  std::vector<double> posture = from;
  const std::vector<MotionStep> sweep = WorkspaceSweep(arm, seed, kSweepPostures);
  for (std::size_t step = 0; step < sweep.size(); ++step) {
    Append(frames, Travel(posture, sweep[step].degrees));
    posture = sweep[step].degrees;
    if ((step + 1) % kPosturesPerPoint == 0) Append(frames, TakePoint(posture));
  }
  return frames;
}

DemoMotion::DemoMotion(VirtualArm& arm, std::uint32_t seed) : arm_(arm), seed_(seed) {}

DemoFrame DemoMotion::Observe() const {
  const ArmState state = arm_.snapshot();
  DemoFrame frame;
  for (const JointState& joint : state.joints) frame.degrees.push_back(joint.angle);
  frame.button1 = state.buttons[0][0] || state.buttons[0][1];
  return frame;
}

void DemoMotion::Apply(const DemoFrame& frame) {
  arm_.SetJointAngles(frame.degrees);
  if (!applied_ || applied_->button1 != frame.button1) arm_.SetButton(1, frame.button1);
  applied_ = frame;
}

void DemoMotion::Step() {
  const DemoFrame seen = Observe();
  if (applied_ && seen != *applied_) {
    // Someone else has moved the arm: a press of ours must not outlast the demonstration.
    if (applied_->button1 && seen.button1) arm_.SetButton(1, false);
    frames_.clear();
    applied_.reset();
    idleSeen_ = Observe();
    idleTicks_ = kIdleTicks;
    return;
  }
  if (idleTicks_ > 0) {
    if (seen != idleSeen_) {
      idleSeen_ = seen;
      idleTicks_ = kIdleTicks;
      return;
    }
    if (--idleTicks_ > 0) return;
  }
  if (frames_.empty()) {
    std::vector<DemoFrame> next;
    if (!marksPassed_ && arm_.record().options.referenceMarks) {
      std::vector<double> marks;
      for (const JointState& joint : arm_.snapshot().joints) marks.push_back(joint.markAngle);
      next = PassReferenceMarks(seen.degrees, marks);
    } else {
      next = DemoCycle(arm_.record(), seen.degrees, seed_++);
    }
    marksPassed_ = true;
    frames_.assign(next.begin(), next.end());
  }
  Apply(frames_.front());
  frames_.pop_front();
}

void RunDemo(std::stop_token stop, std::vector<VirtualArm*> arms) {
  std::vector<DemoMotion> motions;
  for (std::size_t i = 0; i < arms.size(); ++i) {
    motions.emplace_back(*arms[i], static_cast<std::uint32_t>(i + 1));
  }
  std::mutex mutex;
  std::condition_variable_any wake;
  auto next = std::chrono::steady_clock::now();
  while (!stop.stop_requested()) {
    for (DemoMotion& motion : motions) motion.Step();
    next += kDemoTick;
    std::unique_lock lock(mutex);
    wake.wait_until(lock, stop, next, [] { return false; });
  }
}

}  // namespace pilvo::sim
