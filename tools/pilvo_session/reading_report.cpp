#include "reading_report.h"

#include <cstdio>

#include "pilvo.h"

namespace pilvo {
namespace {

// The probe position: column 3 of the pose, in millimetres.
void PrintPosition(std::ostream& out, std::span<const double, 16> pose) {
  char text[64];
  std::snprintf(text, sizeof text, "%10.3f %10.3f %10.3f mm", pose[3], pose[7], pose[11]);
  out << text;
}

}  // namespace

ReadingReport::ReadingReport(std::ostream& out, Clock::duration positionInterval)
    : out_(out), positionInterval_(positionInterval) {}

void ReadingReport::Add(Clock::time_point now, std::span<const double, 16> pose,
                        std::int32_t status, double diameter) {
  // With an auxiliary input the press of button 1 reads as the auxiliary bit instead.
  const bool pressed = (status & (PILVO_STATUS_BUTTON1 | PILVO_STATUS_AUXILIARY)) != 0;
  if (pressed && !pressed_) {
    ++points_;
    out_ << "point " << points_ << "  ";
    PrintPosition(out_, pose);
    char text[48];
    std::snprintf(text, sizeof text, "  probe diameter %.3f mm", diameter);
    out_ << text << std::endl;
  }
  pressed_ = pressed;

  if (positionShown_ && now - lastPosition_ < positionInterval_) return;
  positionShown_ = true;
  lastPosition_ = now;
  out_ << "probe    ";
  PrintPosition(out_, pose);
  if ((status & PILVO_STATUS_LIMITS) != 0) out_ << "  (joint limits)";
  out_ << std::endl;
}

}  // namespace pilvo
