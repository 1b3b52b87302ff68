#include "session/reference_frame.h"

#include "measure/frame_profile.h"

namespace pilvo {

void ResetUserFrame(FrameState& frames) {
  frames.frameRotation = kIdentityPose;
  frames.frameOffset = {};
  frames.frameActive = false;
}

int LeggeTerna(FrameState& frames, const SettingsStore& profileStore) {
  ReadUserFrame(frames.frameRotation, frames.frameOffset, profileStore);
  frames.frameActive = true;
  return alignment_result::kDone;
}

int RuotaTerna(int mode, bool connected, FrameState& frames, const SettingsStore& profileStore,
               const AlignmentDialog& dialog) {
  if (mode == 0) {
    ResetUserFrame(frames);
    return alignment_result::kDone;
  }
  if (mode != 1) return alignment_result::kUnknownMode;
  if (!connected) return alignment_result::kNotConnected;

  const bool wasActive = frames.frameActive;
  frames.frameActive = false;  // the points must come in arm coordinates
  const AlignmentAcquisition taken = dialog(AlignmentVariant::UserFrame, false);
  if (taken.errorCode < 0) return alignment_result::kAcquisitionFailed;
  if (taken.close != AlignmentClose::Ok) {
    frames.frameActive = wasActive;
    return alignment_result::kDone;
  }

  Pose rotation;
  if (FrameFromThreePoints(rotation, PositionOf(taken.firstPose), taken.second, taken.third) != 0) {
    // Such points define no frame: keep the one in use rather than store an undefined one.
    frames.frameActive = wasActive;
    return alignment_result::kAcquisitionFailed;
  }
  Pose rotatedFirst;
  Mat4Multiply(rotation, taken.firstPose, rotatedFirst);
  frames.frameRotation = rotation;
  frames.frameOffset = PositionOf(rotatedFirst);  // R applied to the origin
  frames.frameActive = true;
  // The export has no code for a profile that cannot be written: the frame is in use anyway,
  // and the settings store writes each key atomically.
  WriteUserFrame(frames.frameRotation, frames.frameOffset, profileStore);
  return alignment_result::kDone;
}

}  // namespace pilvo
