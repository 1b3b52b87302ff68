// The alignment dialog's model, for the user frame and the rotating table: it polls the readings
// every 100 ms and takes a point at each new press of the acquisition button, three in all, then
// closes with OK on the release. A view shows its texts and forwards the timer and the buttons.
#pragma once

#include <cstdint>
#include <string>

#include "measure/alignment_acquisition.h"

namespace pilvo {

class ArmSession;

inline constexpr int kAlignmentTickMs = 100;
inline constexpr int kAlignmentPoints = 3;

class AlignmentProcedure {
 public:
  enum class State { Running, Ok, Cancelled, Reused };

  // `offerReuse` shows the reuse button (the table variant's stored matrix).
  AlignmentProcedure(ArmSession& session, AlignmentVariant variant, bool offerReuse);

  AlignmentVariant variant() const { return variant_; }
  const std::string& title() const { return title_; }
  const std::string& instructions() const { return instructions_; }
  // "MEASURE THE POINT n", n the next point to take.
  const std::string& prompt() const { return prompt_; }
  // "Cancel", or "Only arm" for the table.
  const std::string& cancelLabel() const { return cancelLabel_; }
  bool reuseShown() const { return reuseShown_; }
  int pointsTaken() const { return pointsTaken_; }

  State state() const { return state_; }
  // The points taken and how the dialog closed; a dialog still running counts as cancelled.
  AlignmentAcquisition result() const;

  // The 100 ms timer: one reading. A negative reading closes the dialog with Cancel and keeps
  // its code. A button already held when the dialog opens must be released before it counts.
  void Tick();
  void Cancel();
  // The reuse button, when shown: closes the dialog keeping the stored table matrix.
  void Reuse();

 private:
  void TakePoint(const Pose& pose);
  void SetPrompt();

  ArmSession& session_;
  AlignmentVariant variant_;
  std::string title_;
  std::string instructions_;
  std::string prompt_;
  std::string cancelLabel_;
  bool reuseShown_;
  std::int32_t acquisitionButton_;
  bool held_ = true;  // until the first reading shows the button up
  int pointsTaken_ = 0;
  State state_ = State::Running;
  AlignmentAcquisition taken_;
};

}  // namespace pilvo
