// What makes a loaded arm measure: the link opened and the boards configured, the encoders
// referenced (the board kept its reference, or the operator has just taken the arm through its
// reset), the probe in use made the working record. And the reference-mark query that the reset
// follows.
#pragma once

#include <cstdint>

#include "data/settings.h"

namespace pilvo {

class ArmSession;

enum class InitialiseMode {
  Connect,  // the wizard's connection: no temperature or reset dialog
  Reset,    // ResetEncoder, and the probes dialog after a probe change
};

// Results of InitialiseArm beyond the reset dialog's own cancel codes.
namespace initialise_result {
inline constexpr int kDone = 0;
inline constexpr int kLinkFailed = -1;        // cannot open, or the USB configuration failed
inline constexpr int kNoSerialPresence = -2;  // the serial board did not answer its probe
inline constexpr int kResetCancelled = -4;    // the reset dialog was cancelled with code 0
inline constexpr int kKeepsLinkOpen = 3;      // the one cancel code that leaves the link open
}  // namespace initialise_result

// 0 when the arm is ready to measure; -1 or -2 (link closed); or the code the reset dialog was
// cancelled with (0 given as -4; only 3 leaves the link open).
int InitialiseArm(ArmSession& session, InitialiseMode mode);

// The ambient temperature kept in the profile ("TEMPERATURA"/"Ambiente"), 21 when none is.
std::int32_t StoredAmbientTemperature(const SettingsStore& profileStore);

// Results of the reference-mark query beyond the board codes.
namespace marks_result {
inline constexpr int kPending = 0;   // some joint that must have a mark has none yet
inline constexpr int kComplete = 1;  // every joint that must have a mark has one
inline constexpr int kNoMarks = -2;  // the arm has no reference marks (mask untouched)
}  // namespace marks_result

// Which joints have passed their reference mark: bit j of `mask` for joint j. A marks_result
// code, or a board code: -1 not connected (nothing is opened); -3 short serial reply; -11, -12
// the USB exchange failed or its reply was wrong. Board failures close the link. On the serial
// link the encoder reads that follow use the latched counters until the next initialisation.
int LeggeTacche(ArmSession& session, std::uint32_t& mask);

}  // namespace pilvo
