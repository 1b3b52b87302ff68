#include "wizard/model/stylus_calibration.h"

#include <optional>

#include "data/local_text.h"
#include "data/number_text.h"
#include "session/arm_session.h"

namespace pilvo::wizard {
namespace {

constexpr int kTextCaption = 2319;
constexpr int kTextSelectStylus = 2317;
constexpr int kTextPressNext = 2253;
// A height no plane is touched at: none has been taken on this activation.
constexpr double kNoHeight = 10000.0;
constexpr int kShownDecimals = 2;

StylusFields InitialFields(StylusType type) {
  return {type, FixedText(2.0, 1)};
}

std::int32_t WrappingSum(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

StylusCalibration::StylusCalibration(ArmSession& session, SaveTabChooser choose)
    : session_(session),
      choose_(std::move(choose)),
      referenceFields_(InitialFields(StylusType::Sphere)),
      newStylusFields_(InitialFields(StylusType::None)) {
  steps_.push_back(StylusStep::ReferencePlane);
  if (resetAtRest()) steps_.push_back(StylusStep::RestPosition);
  steps_.push_back(StylusStep::NewStylus);
  steps_.push_back(StylusStep::Confirmation);
}

bool StylusCalibration::resetAtRest() const {
  return !session_.state().tab.main.options.referenceMarks;
}

std::string StylusCalibration::caption() const {
  return LocalText(kTextCaption, session_.language());
}

StylusStepTexts StylusCalibration::Texts(StylusStep step) const {
  const auto text = [this](int id) { return LocalText(id, session_.language()); };
  StylusStepTexts texts;
  switch (step) {
    case StylusStep::ReferencePlane:
      texts.title = text(2246);
      texts.instructions = {text(2247), text(2252), text(kTextPressNext)};
      break;
    case StylusStep::RestPosition:
      texts.title = text(2256);
      texts.instructions = {text(2257), text(2258), text(kTextPressNext)};
      return texts;
    case StylusStep::NewStylus:
      texts.title = text(2262);
      texts.instructions = {text(2263), text(2264), text(kTextPressNext)};
      break;
    case StylusStep::Confirmation:
      texts.title = text(2267);
      texts.originalFile = text(2268);
      texts.modifiedFile = text(2269);
      return texts;
  }
  texts.stylusType = text(2248);
  texts.tip = text(2249);
  texts.sphere = text(2250);
  texts.radius = text(2251);
  return texts;
}

const StylusFields& StylusCalibration::fields(StylusStep step) const {
  return step == StylusStep::NewStylus ? newStylusFields_ : referenceFields_;
}

void StylusCalibration::Activate(StylusStep step) {
  current_ = step;
  display_ = {};
  switch (step) {
    case StylusStep::ReferencePlane:
      planeHeightOld_ = kNoHeight;
      break;
    case StylusStep::RestPosition: {
      const auto& offsets = session_.state().tab.main.encoderOffsets;
      for (int joint = 0; joint < kRestJointsShown; ++joint) {
        display_.offsets[joint] = std::to_string(offsets[joint]);
      }
      display_.back = display_.next = true;
      break;
    }
    case StylusStep::NewStylus:
      planeHeightNew_ = kNoHeight;
      display_.back = true;
      break;
    case StylusStep::Confirmation:
      display_.originalFile = session_.state().tabPath;
      display_.modifiedFile = newTabPath_.string();
      display_.back = display_.finish = true;
      break;
  }
}

bool StylusCalibration::Fail() {
  result_ = -1;
  return false;
}

bool StylusCalibration::Tick() {
  switch (current_) {
    case StylusStep::ReferencePlane:
      return TouchTick(planeHeightOld_);
    case StylusStep::RestPosition:
      return ReadRestCounts();
    case StylusStep::NewStylus:
      return TouchTick(planeHeightNew_);
    case StylusStep::Confirmation:
      break;
  }
  return true;
}

bool StylusCalibration::TouchTick(double& height) {
  Pose pose{};
  std::int32_t status = 0;
  if (session_.LeggeQuota(pose, status) < 0) return Fail();
  for (int axis = 0; axis < 3; ++axis) {
    display_.position[axis] = FixedText(pose[axis * 4 + 3], kShownDecimals);
  }
  // Button 1 reads as the auxiliary press while an auxiliary input is set.
  if ((status & (reading_status::kButton1 | reading_status::kAuxiliaryPress)) != 0) {
    height = pose[11];
    display_.height = FixedText(height, kShownDecimals);
    display_.next = true;
  }
  return true;
}

bool StylusCalibration::ReadRestCounts() {
  if (session_.ReadArmCounts() < 0) return Fail();
  restCounts_ = session_.state().rawCounts;
  for (int joint = 0; joint < kRestJointsShown; ++joint) {
    display_.restCounts[joint] = std::to_string(restCounts_[joint]);
  }
  return true;
}

std::optional<double> StylusCalibration::Radius(const StylusFields& fields) const {
  const std::optional<double> radius = ParseLength(fields.radius);
  if (!radius) {
    session_.prompts().ShowMessage(kEnterNumber, kWizardCaption, MessageIcon::Warning);
    return std::nullopt;
  }
  return radius;
}

bool StylusCalibration::Next(const StylusFields& fields) {
  switch (current_) {
    case StylusStep::ReferencePlane: {
      if (!display_.next) return false;
      const std::optional<double> radius = Radius(fields);
      if (!radius) return false;
      referenceFields_ = fields;
      // The ball's centre touched the plane one radius above it.
      if (fields.type == StylusType::Sphere) planeHeightOld_ -= *radius;
      return true;
    }
    case StylusStep::RestPosition:
      return ReadRestCounts();
    case StylusStep::NewStylus:
      return display_.next && NextOnNewStylus(fields);
    case StylusStep::Confirmation:
      break;
  }
  return false;
}

bool StylusCalibration::NextOnNewStylus(const StylusFields& fields) {
  if (fields.type == StylusType::None) {
    session_.prompts().ShowMessage(LocalText(kTextSelectStylus, session_.language()),
                                   kWizardCaption, MessageIcon::Error);
    return false;
  }
  const std::optional<double> radius = Radius(fields);
  if (!radius) return false;
  newStylusFields_ = fields;
  newStylusType_ = fields.type;
  newRadius_ = *radius;
  const auto chosen = ChooseNewTabFile(choose_, session_);
  if (!chosen) return false;
  newTabPath_ = *chosen;
  return true;
}

void StylusCalibration::Finish() {
  TabContents tab = session_.state().tab;
  if (resetAtRest()) {
    auto& offsets = tab.main.encoderOffsets;
    for (int joint = 0; joint < kMaxJoints; ++joint) {
      offsets[joint] = WrappingSum(offsets[joint], restCounts_[joint]);
    }
    offsets[0] = 0;
  }
  double change = planeHeightNew_ - planeHeightOld_;
  if (newStylusType_ == StylusType::Sphere) change -= newRadius_;
  WriteWithStylusChange(std::move(tab), change, newTabPath_, session_.prompts());
}

}  // namespace pilvo::wizard
