// The rotating table: one target measured at three table positions gives the table's axis, and
// the table matrix then expresses points in the table's frame. The matrix and the reference
// angle are kept in section "TavolaRotante" of "pilvo.ini".
#pragma once

#include <array>

#include "data/settings.h"
#include "measure/alignment_acquisition.h"
#include "measure/frame_state.h"

namespace pilvo {

// The table matrix R T(-c) of three positions a, b, c of one target: c is the centre of their
// circle, X points from it towards a, Z along the axis turned from a towards b. The reference
// angle is the largest of the three table angles. 0, or kNoTableAlignment (outputs untouched)
// when the positions give no circle or a, b lie on opposite sides of the axis.
inline constexpr int kNoTableAlignment = -1;

int TableAlignmentFromPoints(const Point3& a, const Point3& b, const Point3& c,
                             const std::array<double, 3>& tableAngles, Pose& matrix,
                             double& referenceAngle);

// Runs the dialog in the table variant, with the reuse button when `offerReuse`. On OK the new
// matrix and reference angle are applied and stored in `store` ("pilvo.ini"); the reuse button
// keeps the matrix in memory and applies it; any other cancel leaves readings in arm coordinates.
// kDone, or kAcquisitionFailed when a reading error closed the dialog or the positions were
// refused: the previous matrix stays in memory and in the file, not applied.
int AlignRotatingTable(bool offerReuse, FrameState& frames, const AlignmentDialog& dialog,
                       const SettingsStore& store);

// Reads the matrix and reference angle stored in `store`, which the reuse button then applies;
// whether they are applied is left as it is.
void LoadTableMatrix(FrameState& frames, const SettingsStore& store);

}  // namespace pilvo
