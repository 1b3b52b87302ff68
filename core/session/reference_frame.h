// The user reference frame: three points measured on the workpiece give its origin, its X
// direction and the side of its Y axis; every reading is then expressed as R (p - origin).
#pragma once

#include "data/settings.h"
#include "measure/alignment_acquisition.h"
#include "measure/frame_state.h"

namespace pilvo {

// Identity rotation, zero offset, frame inactive. The profile keeps the stored frame.
void ResetUserFrame(FrameState& frames);

// Reloads the frame from section "Terna" of `profileStore` (identity and zero offset for
// missing keys) and makes it active. Returns 0.
int LeggeTerna(FrameState& frames, const SettingsStore& profileStore);

// Mode 0: ResetUserFrame. Mode 1: takes three points through `dialog` in arm coordinates (after
// the table transform when that is active), makes their frame active and stores it in
// `profileStore`. alignment_result codes: kDone when aligned, cleared or cancelled (a cancel
// keeps the frame as it was); kNotConnected when !connected (no dialog); kAcquisitionFailed when
// a reading error closed the dialog (the frame in memory is kept but inactive, LeggeTerna
// restores it) or the points were repeated or collinear (the previous frame stays in use and
// the profile is not written); kUnknownMode for any other mode.
int RuotaTerna(int mode, bool connected, FrameState& frames, const SettingsStore& profileStore,
               const AlignmentDialog& dialog);

}  // namespace pilvo
