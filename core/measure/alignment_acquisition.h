// What the alignment dialog hands back to the frame and rotating-table alignments: how it was
// closed and the three points it took. The dialog itself belongs to the operator interface; the
// alignments receive it as a function so that they run the same with a window, on a console or
// from a test script.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "measure/frame_geometry.h"
#include "measure/transforms.h"

namespace pilvo {

// Results of the alignments.
namespace alignment_result {
inline constexpr int kDone = 0;                // aligned, cleared or cancelled
inline constexpr int kNotConnected = -1;       // the user frame needs a connection
inline constexpr int kAcquisitionFailed = -2;  // a reading error closed the dialog, or its points
                                               // were repeated or collinear
inline constexpr int kUnknownMode = -3;
}  // namespace alignment_result

enum class AlignmentVariant { UserFrame, RotatingTable };

enum class AlignmentClose {
  Ok,      // the three points were taken
  Cancel,  // the cancel button ("Cancel", or "Only arm" for the table), or a reading error
  Reuse,   // the table variant's reuse button: keep the stored table matrix
};

struct AlignmentAcquisition {
  AlignmentClose close = AlignmentClose::Cancel;
  std::int32_t errorCode = 0;      // the negative reading result that closed it, else 0
  Pose firstPose = kIdentityPose;  // the whole pose of the first point
  Point3 second{};                 // positions of the second and third points
  Point3 third{};
  std::array<double, 3> tableAngles{};  // radians: the last joint's angle at each point
};

// Runs the dialog modally in `variant`; `offerReuse` shows the table variant's reuse button.
using AlignmentDialog =
    std::function<AlignmentAcquisition(AlignmentVariant variant, bool offerReuse)>;

}  // namespace pilvo
