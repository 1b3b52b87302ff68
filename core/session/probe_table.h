// The probe table: which probe the arm carries, the copy of its record into the working record,
// the tray tooltip that names it, and the additions and deletions that rewrite the TAB file.
// Probe 0 is the base record ("Factory calibration"); probe i (1 … tab.main.probeCount) is
// tab.probes[i - 1].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/arm_record.h"
#include "data/local_text.h"
#include "data/settings.h"

namespace pilvo {

class ArmSession;
class Prompts;
struct ArmSessionState;

inline constexpr std::size_t kMaxProbeTooltip = 98;

// Only a USB arm with a six-parameter chain and a TAB file of version 41 or later has probes.
bool ProbeManagementAvailable(const ArmSessionState& state);

// Reads "Tools"/"toolInUse" and "Data"/"SphereDiameter" from `store`, the installation key, into
// state.toolInUse and sphereDiameter: 1. When management is not available, toolInUse is forced to 0
// and written back, sphereDiameter is left alone: 0. A stored probe that the table does not hold is
// reset to 0 and written back, with a message.
int LoadProbeSelection(ArmSessionState& state, Prompts& ui, double& sphereDiameter,
                       const SettingsStore& store, const Language& language);

// Writes state.toolInUse and the sphere diameter ("%.3f") to `store`, both or neither. False
// when it cannot.
bool StoreProbeSelection(const ArmSessionState& state, double sphereDiameter,
                         const SettingsStore& store);

// The record of the probe in use; the base record when toolInUse names no probe of the table.
const ArmRecord& SelectedProbeRecord(const ArmSessionState& state);

// Copies the record of the probe in use into the working record, which keeps its ambient
// temperature, marks the arm ready, sends the board the probe mode and acknowledges the probe's
// auxiliary input (a failed acknowledge closes the link, and the arm is not ready). The board's
// code of the acknowledge, or 0 when there was none.
int ApplySelectedProbe(ArmSession& session);

// "Pilvo3D ", the first 4 characters of the working record's name ("M???" when it is shorter),
// a line feed and the name of the probe in use cut to 85 characters: at most kMaxProbeTooltip.
std::string BuildProbeTooltip(const ArmSessionState& state, const Language& language);

// A new probe: a copy of probe `from` (0 … count) named "probe n° <count + 1>". Nothing when
// `from` names no probe, or after a message when the table is full.
std::optional<ArmRecord> NewProbeRecord(const ArmSessionState& state, int from, Prompts& ui,
                                        const Language& language);

// Appends `record` to the table and saves the TAB file. False, with the table as it was, when
// the table is full or the file could not be saved (after their messages).
bool AddProbe(ArmSessionState& state, const ArmRecord& record, Prompts& ui,
              const Language& language);

// Deletes probe `probe` (1 … count), moving the later ones down, and saves the TAB file. The
// probe to select next (probe − 1), or nothing, with the table as it was, when `probe` names
// no deletable probe or the file could not be saved.
std::optional<int> DeleteProbe(ArmSessionState& state, int probe, Prompts& ui,
                               const Language& language);

// Rewrites the TAB file at tabPath with the base record and the probe table. False, after a
// message, when it cannot: the records stay as they were, and so does the previous file unless
// only the final flush to disk failed (see WriteFileAtomically).
bool SaveProbeTable(const ArmSessionState& state, Prompts& ui, const Language& language);

}  // namespace pilvo
