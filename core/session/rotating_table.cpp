#include "session/rotating_table.h"

#include <algorithm>
#include <exception>

#include "measure/frame_profile.h"
#include "measure/matrix.h"

namespace pilvo {
namespace {

math::matrixT<double> ToMatrix(const Pose& pose) {
  const double* rows[4] = {&pose[0], &pose[4], &pose[8], &pose[12]};
  return math::matrixT<double>(4, 4, rows);
}

}  // namespace

int TableAlignmentFromPoints(const Point3& a, const Point3& b, const Point3& c,
                             const std::array<double, 3>& tableAngles, Pose& matrix,
                             double& referenceAngle) {
  Point3 centre;
  double radius;
  if (CircleThroughPoints(a, b, c, centre, radius) != 0) return kNoTableAlignment;
  Pose frame;
  if (FrameFromThreePoints(frame, centre, a, b) != 0) return kNoTableAlignment;

  Pose frameTransposed = kIdentityPose;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column)
      frameTransposed[4 * row + column] = frame[4 * column + row];
  }
  Pose shift = kIdentityPose;
  shift[3] = centre[0];
  shift[7] = centre[1];
  shift[11] = centre[2];
  Pose product;
  try {
    math::matrixT<double> rotation = ToMatrix(frameTransposed);
    math::matrixT<double> translation = ToMatrix(shift);
    const math::matrixT<double> table = !rotation * !translation;
    for (int row = 0; row < 4; ++row) {
      for (int column = 0; column < 4; ++column) product[4 * row + column] = table(row, column);
    }
  } catch (const std::exception&) {
    // A singular inverse (or no memory for the work matrices): no matrix to offer.
    return kNoTableAlignment;
  }
  matrix = product;
  referenceAngle = *std::max_element(tableAngles.begin(), tableAngles.end());
  return 0;
}

int AlignRotatingTable(bool offerReuse, FrameState& frames, const AlignmentDialog& dialog,
                       const SettingsStore& store) {
  const AlignmentAcquisition taken = dialog(AlignmentVariant::RotatingTable, offerReuse);
  if (taken.errorCode < 0) {
    frames.tableAligned = false;
    return alignment_result::kAcquisitionFailed;
  }
  if (taken.close != AlignmentClose::Ok) {
    frames.tableAligned = taken.close == AlignmentClose::Reuse;
    return alignment_result::kDone;
  }
  Pose matrix;
  double referenceAngle;
  if (TableAlignmentFromPoints(PositionOf(taken.firstPose), taken.second, taken.third,
                               taken.tableAngles, matrix, referenceAngle) != 0) {
    // Such positions locate no axis. The previous matrix is kept but not applied: only the
    // operator's reuse button says the table has not moved since it was measured.
    frames.tableAligned = false;
    return alignment_result::kAcquisitionFailed;
  }
  frames.tableMatrix = matrix;
  frames.tableReferenceAngle = referenceAngle;
  frames.tableAligned = true;
  // Applied even when the file cannot keep it: the initialisation has no code for that.
  WriteTableMatrix(matrix, referenceAngle, store);
  return alignment_result::kDone;
}

void LoadTableMatrix(FrameState& frames, const SettingsStore& store) {
  ReadTableMatrix(frames.tableMatrix, frames.tableReferenceAngle, store);
}

}  // namespace pilvo
