// What pilvo-session prints of its readings: the probe position now and then, and every point
// taken, on the reading where button 1 goes down.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <span>

namespace pilvo {

class ReadingReport {
 public:
  using Clock = std::chrono::steady_clock;

  ReadingReport(std::ostream& out, Clock::duration positionInterval);

  // One successful reading: the 16 doubles of the pose, the status word and the probe diameter.
  void Add(Clock::time_point now, std::span<const double, 16> pose, std::int32_t status,
           double diameter);
  int points() const { return points_; }

 private:
  std::ostream& out_;
  Clock::duration positionInterval_;
  Clock::time_point lastPosition_{};
  bool positionShown_ = false;
  bool pressed_ = false;
  int points_ = 0;
};

}  // namespace pilvo
