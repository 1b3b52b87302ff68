// The measuring loop: one board read to the probe pose and the status word, with the joint-limit
// warning, the buttons, the auxiliary inputs and the probe-radius push.
#include <algorithm>

#include "measure/kinematics.h"
#include "session/arm_buttons.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"

namespace pilvo {
namespace {

int JointCount(const ArmRecord& record) {
  return std::clamp(record.jointCount, 0, kMaxJoints);
}

bool ScannerInput(const ArmOptions& options) {
  return options.auxiliaryInput1 || options.auxiliaryInput2;
}

}  // namespace

int ArmSession::ReadCheckedCounts() {
  if (const int result = board_.ReadArmCounts(state_.rawCounts); result < 0) return result;
  const auto countsPerDegree = std::span<const double>(state_.countsPerDegree)
                                   .first(static_cast<std::size_t>(JointCount(state_.working)));
  ReadingPlausibility& last = state_.reading.lastTaken;
  std::uint32_t now = clock_();
  if (!last.Plausible(board_.jointValues(), now, countsPerDegree)) {
    // A real move shows again when the board is read once more; a spoilt reply does not.
    const std::array<double, kMaxJoints> suspect = board_.jointValues();
    const std::uint32_t suspectAt = now;
    if (const int result = board_.ReadArmCounts(state_.rawCounts); result < 0) return result;
    now = clock_();
    if (!WithinReach(suspect, board_.jointValues(), now - suspectAt, countsPerDegree) &&
        !last.Plausible(board_.jointValues(), now, countsPerDegree)) {
      link_.ChiudePorta();
      return link_.IsUsb() ? board::kUsbBadReply : board::kShortSerialReply;
    }
  }
  last.Take(board_.jointValues(), now);
  return 0;
}

int ArmSession::ReadPose(Pose& pose) {
  if (const int result = ReadCheckedCounts(); result < 0) return result;
  ComputePose(board_.jointValues(), pose);
  return 0;
}

int ArmSession::ReadArmCounts() {
  if (const int result = board_.ReadArmCounts(state_.rawCounts); result < 0) return result;
  state_.jointCounts = board_.jointValues();
  return 0;
}

void ArmSession::ComputePose(const std::array<double, kMaxJoints>& jointCounts, Pose& pose) {
  state_.jointCounts = jointCounts;
  const ArmRecord& record = state_.working;
  KinematicModel& model = state_.kinematics;
  if (!ModelFits(model, record.parameters, record)) {
    model = BuildKinematicModel(record.parameters, record);
  }
  // The thermal compensation scales the lengths in place: a fresh copy for every reading.
  std::array<float, kMaxParameters> parameters = record.parameters;
  // Where the board gives no temperature the arm is taken to be at the ambient one.
  std::array<double, 3> temperatures{};
  temperatures.fill(record.ambientTemperature);
  if (record.temperatureSensors != 0) board_.TakeReportedTemperatures(temperatures);
  ComputeProbeTransform(model, parameters, record, state_.countsPerDegree, state_.jointCounts,
                        record.secondJointCorrectionCount, temperatures,
                        record.referenceTemperatures, state_.frames, state_.tracker, pose);
}

std::uint32_t ArmSession::JointLimitMask(std::array<double, kMaxJoints>& angles) const {
  ReadJointAngles(angles);
  const ArmRecord& base = state_.tab.main;
  std::uint32_t mask = 0;
  for (int joint = 0; joint < JointCount(base); ++joint) {
    const JointLimit& limit = base.jointLimits[joint];
    if (limit.minimum == 0.0 && limit.maximum == 0.0) continue;
    const double degrees = angles[joint] * kRadiansToDegrees;
    if (degrees < limit.minimum || degrees > limit.maximum) mask |= 1u << joint;
  }
  return mask;
}

void ArmSession::RefreshSupplyDisplay() {
  display_.RefreshSupplyDisplay({.reading = board_.supplyReading(),
                                 .monitored = board_.supplyMonitor(),
                                 .onBattery = board_.onBattery(),
                                 .firmwareCode = board_.firmwareCode()},
                                state_.working);
  Notify([](SessionObserver& observer) { observer.SupplyChanged(); });
}

bool ArmSession::UpdateLimitsWarning(const std::array<double, kMaxJoints>& angles) {
  ReadingState& reading = state_.reading;
  if (reading.limitMask != 0) {
    if (!reading.limitWarningShown) {
      display_.ShowLimitsWarning();
      reading.limitWarningShown = true;
    }
    const auto joints = static_cast<std::size_t>(JointCount(state_.working));
    display_.UpdateLimitsWarning(reading.limitMask, std::span(angles).first(joints));
    return true;
  }
  if (reading.limitWarningShown) {
    display_.HideLimitsWarning();
    reading.limitWarningShown = false;
    return true;
  }
  return false;
}

void ArmSession::ReturnLimitStatus(const ArmButtons& buttons, std::int32_t& status) {
  const ArmOptions& options = state_.working.options;
  if (options.auxiliaryInput0) board_.AcknowledgeInput(0);
  if (ScannerInput(options) && buttons.button1) {
    status += reading_status::kAuxiliaryPress;
    board_.AcknowledgeScannerPress();
  }
  status += reading_status::kLimitWarning;
}

// A request held together with button 1 is acknowledged from its second reading on.
void ArmSession::CountAuxiliaryRequest(const ArmButtons& buttons) {
  std::int32_t& counter = state_.reading.auxiliaryCounter;
  if (!buttons.auxiliaryRequest || !buttons.button1) {
    counter = 0;
  } else if (counter <= 0) {
    ++counter;
  } else {
    board_.AcknowledgeInput(0);
  }
}

int ArmSession::LeggeQuota(Pose& pose, std::int32_t& status) {
  if (const int result = ReadCheckedCounts(); result < 0) return result;
  return CompleteReading(board_.jointValues(), board_.status(), pose, status);
}

int ArmSession::CompleteReading(const std::array<double, kMaxJoints>& jointCounts,
                                const StatusPair& boardStatus, Pose& pose, std::int32_t& status) {
  // The buttons of the first board read decide the whole reading.
  ArmButtons buttons = DecodeButtons(boardStatus);
  ComputePose(jointCounts, pose);
  status = 0;
  const ArmOptions& options = state_.working.options;
  ReadingState& reading = state_.reading;

  const bool checkLimits = state_.limitsConfigured && state_.armReady;
  std::array<double, kMaxJoints> angles{};
  if (checkLimits) {
    const std::uint32_t mask = JointLimitMask(angles);
    if (mask != reading.limitMask) {
      Notify([mask](SessionObserver& observer) { observer.LimitsChanged(mask); });
    }
    reading.limitMask = mask;
  }
  if (context_.isLibrary()) {
    if (state_.working.batteryPresent > 0) RefreshSupplyDisplay();
    if (checkLimits && UpdateLimitsWarning(angles)) {
      ReturnLimitStatus(buttons, status);
      return 0;
    }
  }

  if (options.buttonRemap) {
    buttons.button1 = buttons.button3;
    buttons.button3 = false;
  }
  if (reading.probesDialogOpen) {
    // The calibration takes the poses as computed: no swap, no push, status 0.
    reading.dialogButtonMask =
        (buttons.button1 ? 1u : 0u) + (buttons.button2 ? 2u : 0u) + (buttons.button3 ? 4u : 0u);
    if (options.auxiliaryInput0) {
      CountAuxiliaryRequest(buttons);
    } else {
      reading.auxiliaryCounter = 0;
    }
    return 0;
  }
  if (!StepTabSwap(buttons.button2, status)) return 0;

  if (!buttons.button1) {
    reading.pressLatched = false;
  } else {
    status += reading_status::kButton1;
    if (options.auxiliaryInput0 && !reading.pressLatched) {
      reading.pressLatched = true;
      if (const int result = ReadPose(pose); result < 0) return result;
    }
    if (options.motionDirection && state_.tracker.clientSession == 1) {
      ApplyMotionOffset(state_.working, state_.tracker, pose);
    }
    if (ScannerInput(options)) {
      status += reading_status::kAuxiliaryPress - reading_status::kButton1;
      board_.AcknowledgeScannerPress();
    }
  }
  if (buttons.button2) status += reading_status::kButton2;
  if (options.statusBit7Button && buttons.statusBit7Button) status += reading_status::kButton3;
  if (board_.serialRequest().hasSecondStatusRegister) {
    if (options.extraStatus && buttons.button3) status += reading_status::kButton3;
    if (options.auxiliaryInput0) CountAuxiliaryRequest(buttons);
  }
  return 0;
}

int ArmSession::LeggeQuota2(Pose& pose, std::int32_t& status, double& diameter) {
  const std::int32_t probe = state_.toolInUse;
  const ArmRecord& record =
      probe >= 1 && probe <= kMaxProbes ? state_.tab.probes[probe - 1] : state_.tab.main;
  diameter = 2.0 * record.probeRadius;
  return LeggeQuota(pose, status);
}

}  // namespace pilvo
