// The reference frames laid over the arm's base frame, as every reading applies them: the
// rotating-table alignment and the user reference frame. The alignments fill it in.
#pragma once

#include <array>

#include "measure/transforms.h"

namespace pilvo {

struct FrameState {
  bool tableAligned = false;            // the table matrix is applied to readings
  double tableReferenceAngle = 0.0;     // radians: the largest table angle of the alignment
  Pose tableMatrix = kIdentityPose;     // arm coordinates to table coordinates
  bool frameActive = false;             // the user frame is applied to readings
  Pose frameRotation = kIdentityPose;   // rows 0 to 2: the frame's X, Y, Z axes in arm coordinates
  std::array<double, 3> frameOffset{};  // mm: the rotation applied to the frame origin
};

}  // namespace pilvo
