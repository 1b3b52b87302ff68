// Where the alignments keep their matrices: section "Terna" of the application profile for the
// user frame, section "TavolaRotante" of "pilvo.ini" for the rotating table with its reference
// angle. Every element is a text written with "%f" and read back with atof; a missing key reads
// as the identity's element (and 0 for the offsets and the angle).
#pragma once

#include <string_view>

#include "data/settings.h"
#include "measure/frame_geometry.h"
#include "measure/transforms.h"

namespace pilvo {

inline constexpr std::string_view kUserFrameSection = "Terna";
inline constexpr std::string_view kRotatingTableSection = "TavolaRotante";
// The table's reference angle, radians, beside its matrix.
inline constexpr std::string_view kTableAngleKey = "angRif";

// The user frame's rotation and offset in `store`, all 19 keys in one write. False, with none of
// them written, when the store cannot be written.
bool WriteUserFrame(const Pose& rotation, const Point3& offset, const SettingsStore& store);
void ReadUserFrame(Pose& rotation, Point3& offset, const SettingsStore& store);

// The rotating table's matrix and reference angle in `store` ("pilvo.ini"), all 17 keys in one
// write. False, with none of them written, when the store cannot be written.
bool WriteTableMatrix(const Pose& matrix, double referenceAngle, const SettingsStore& store);
// A file written before the angle was kept reads it as 0.
void ReadTableMatrix(Pose& matrix, double& referenceAngle, const SettingsStore& store);

}  // namespace pilvo
