#include "dialogs/alignment_procedure.h"

#include <algorithm>

#include "data/local_text.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"

namespace pilvo {
namespace {

constexpr int kTextFrameTitle = 2011;
constexpr int kTextFrameInstructions = 2012;
constexpr int kTextMeasurePoint = 2013;
constexpr int kTextTableTitle = 2014;
constexpr int kTextTableInstructions = 2015;
constexpr int kTextCancel = 2008;
constexpr int kTextOnlyArm = 2017;

// With auxiliary input 1 or 2 button 1 belongs to that input: the points are taken with the
// third button.
std::int32_t AcquisitionButton(const ArmOptions& options) {
  return options.auxiliaryInput1 || options.auxiliaryInput2 ? reading_status::kButton3
                                                            : reading_status::kButton1;
}

std::string TextOf(AlignmentVariant variant, int frameText, int tableText,
                   const Language& language) {
  return LocalText(variant == AlignmentVariant::RotatingTable ? tableText : frameText, language);
}

}  // namespace

AlignmentProcedure::AlignmentProcedure(ArmSession& session, AlignmentVariant variant,
                                       bool offerReuse)
    : session_(session),
      variant_(variant),
      title_(TextOf(variant, kTextFrameTitle, kTextTableTitle, session.language())),
      instructions_(
          TextOf(variant, kTextFrameInstructions, kTextTableInstructions, session.language())),
      cancelLabel_(TextOf(variant, kTextCancel, kTextOnlyArm, session.language())),
      reuseShown_(offerReuse),
      acquisitionButton_(AcquisitionButton(session.state().working.options)) {
  SetPrompt();
}

void AlignmentProcedure::SetPrompt() {
  prompt_ =
      LocalText(kTextMeasurePoint, session_.language()) + " " + std::to_string(pointsTaken_ + 1);
}

AlignmentAcquisition AlignmentProcedure::result() const {
  AlignmentAcquisition result = taken_;
  switch (state_) {
    case State::Ok:
      result.close = AlignmentClose::Ok;
      break;
    case State::Reused:
      result.close = AlignmentClose::Reuse;
      break;
    case State::Running:
    case State::Cancelled:
      result.close = AlignmentClose::Cancel;
      break;
  }
  return result;
}

void AlignmentProcedure::Tick() {
  if (state_ != State::Running) return;
  Pose pose{};
  std::int32_t status = 0;
  if (const int read = session_.LeggeQuota(pose, status); read < 0) {
    taken_.errorCode = read;
    state_ = State::Cancelled;
    return;
  }
  const bool pressed = (status & acquisitionButton_) != 0;
  if (pressed && !held_ && pointsTaken_ < kAlignmentPoints) TakePoint(pose);
  if (!pressed && pointsTaken_ == kAlignmentPoints) state_ = State::Ok;
  held_ = pressed;
}

void AlignmentProcedure::TakePoint(const Pose& pose) {
  session_.prompts().Beep();
  std::array<double, kMaxJoints> angles{};
  session_.ReadJointAngles(angles);
  const int lastJoint = std::clamp(session_.state().working.jointCount, 1, kMaxJoints) - 1;
  taken_.tableAngles[static_cast<std::size_t>(pointsTaken_)] = angles[lastJoint];
  if (pointsTaken_ == 0) {
    taken_.firstPose = pose;
  } else {
    (pointsTaken_ == 1 ? taken_.second : taken_.third) = PositionOf(pose);
  }
  ++pointsTaken_;
  if (pointsTaken_ < kAlignmentPoints) SetPrompt();
}

void AlignmentProcedure::Cancel() {
  if (state_ == State::Running) state_ = State::Cancelled;
}

void AlignmentProcedure::Reuse() {
  if (state_ == State::Running && reuseShown_) state_ = State::Reused;
}

}  // namespace pilvo
