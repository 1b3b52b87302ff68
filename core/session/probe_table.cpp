#include "session/probe_table.h"

#include <cstdio>

#include "data/local_text.h"
#include "data/number_text.h"
#include "data/tab_file.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"

namespace pilvo {
namespace {

constexpr std::string_view kToolsSection = "Tools";
constexpr std::string_view kToolInUseKey = "toolInUse";
constexpr std::string_view kDataSection = "Data";
constexpr std::string_view kSphereDiameterKey = "SphereDiameter";
// The store does not tell the case of keys apart: the same entry as kSphereDiameterKey.
constexpr std::string_view kSphereDiameterWriteKey = "sphereDiameter";

constexpr int kTextFactoryCalibration = 2420;
constexpr int kTextProbesBufferFull = 2421;
constexpr int kTextProbeIndexNotCorrect = 2432;
constexpr int kTextTabSavingError = 2437;

constexpr int kMinimumProbeTabVersion = 41;
constexpr std::size_t kArmNameShown = 4;
constexpr std::size_t kProbeNameShown = 85;

std::int32_t ProbeCount(const ArmSessionState& state) {
  return state.tab.main.probeCount;
}

bool NamesProbe(const ArmSessionState& state, int probe) {
  return probe >= 1 && probe <= ProbeCount(state) && probe <= kMaxProbes;
}

// At most kMaxProbes probes: shows the message and returns true when the table is full.
bool RefuseWhenFull(const ArmSessionState& state, Prompts& ui, const Language& language) {
  if (ProbeCount(state) + 1 < kMaxProbes + 1) return false;
  ui.ShowMessage(LocalText(kTextProbesBufferFull, language), kLibraryCaption, MessageIcon::Error);
  return true;
}

// At most `size` bytes of `text`, without splitting a UTF-8 character.
std::string_view Prefix(std::string_view text, std::size_t size) {
  if (text.size() <= size) return text;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return text.substr(0, size);
}

}  // namespace

bool ProbeManagementAvailable(const ArmSessionState& state) {
  return state.working.linkType >= 1 && state.tab.version >= kMinimumProbeTabVersion &&
         state.working.modelType >= 1;
}

int LoadProbeSelection(ArmSessionState& state, Prompts& ui, double& sphereDiameter,
                       const SettingsStore& store, const Language& language) {
  if (!ProbeManagementAvailable(state)) {
    state.toolInUse = 0;
    WriteSettingInt(kToolsSection, kToolInUseKey, 0, store);
    return 0;
  }
  state.toolInUse =
      static_cast<std::int32_t>(GetSettingInt(kToolsSection, kToolInUseKey, 0, store));
  sphereDiameter =
      LeadingNumber(GetSettingString(kDataSection, kSphereDiameterKey, "0", store).c_str());
  // A negative number names no probe either, and would index before the table.
  if (state.toolInUse != 0 && !NamesProbe(state, state.toolInUse)) {
    state.toolInUse = 0;
    WriteSettingInt(kToolsSection, kToolInUseKey, 0, store);
    ui.ShowMessage(LocalText(kTextProbeIndexNotCorrect, language), kLibraryCaption,
                   MessageIcon::Information);
  }
  return 1;
}

bool StoreProbeSelection(const ArmSessionState& state, double sphereDiameter,
                         const SettingsStore& store) {
  const std::string diameter = FixedText(sphereDiameter, 3);
  // One write, so that the store never pairs a probe with another probe's sphere.
  const std::string tool = std::to_string(state.toolInUse);
  const SettingText values[] = {{kToolsSection, kToolInUseKey, tool},
                                {kDataSection, kSphereDiameterWriteKey, diameter}};
  return WriteSettings(values, store);
}

const ArmRecord& SelectedProbeRecord(const ArmSessionState& state) {
  return NamesProbe(state, state.toolInUse)
             ? state.tab.probes[static_cast<std::size_t>(state.toolInUse - 1)]
             : state.tab.main;
}

int ApplySelectedProbe(ArmSession& session) {
  ArmSessionState& state = session.state();
  // The initialisation set the ambient temperature for the readings; no record carries it.
  const std::int32_t ambient = state.working.ambientTemperature;
  CopyRecord(state.working, SelectedProbeRecord(state));
  state.working.ambientTemperature = ambient;

  // Ready before the board hears of the probe, so that a failed acknowledge, which closes the
  // link, leaves the arm not ready.
  state.armReady = true;
  const ArmOptions& options = state.working.options;
  ArmBoard& board = session.board();
  board.SetProbeMode(options.probeMode ? 1 : 0);
  int result = 0;
  if (options.auxiliaryInput0) result = board.AcknowledgeInput(0);
  if (options.auxiliaryInput1) result = board.AcknowledgeInput(1);
  if (options.auxiliaryInput2) result = board.AcknowledgeInput(2);
  return result;
}

std::string BuildProbeTooltip(const ArmSessionState& state, const Language& language) {
  std::string tooltip = "Pilvo3D ";
  const std::string& name = state.working.name;
  tooltip += name.size() < kArmNameShown ? std::string_view("M???") : Prefix(name, kArmNameShown);
  tooltip += '\n';
  const std::string probeName = NamesProbe(state, state.toolInUse)
                                    ? SelectedProbeRecord(state).probeName
                                    : LocalText(kTextFactoryCalibration, language);
  tooltip += Prefix(probeName, kProbeNameShown);
  return tooltip;
}

std::optional<ArmRecord> NewProbeRecord(const ArmSessionState& state, int from, Prompts& ui,
                                        const Language& language) {
  if (RefuseWhenFull(state, ui, language)) return std::nullopt;
  if (from != 0 && !NamesProbe(state, from)) return std::nullopt;
  ArmRecord record =
      from == 0 ? state.tab.main : state.tab.probes[static_cast<std::size_t>(from - 1)];
  char name[32];
  std::snprintf(name, sizeof name, "probe n° %i", ProbeCount(state) + 1);
  record.probeName = name;
  return record;
}

bool AddProbe(ArmSessionState& state, const ArmRecord& record, Prompts& ui,
              const Language& language) {
  if (RefuseWhenFull(state, ui, language)) return false;
  const std::int32_t count = ProbeCount(state);
  ArmRecord& slot = state.tab.probes[static_cast<std::size_t>(count)];
  const ArmRecord previous = slot;
  slot = record;
  state.tab.main.probeCount = count + 1;
  if (SaveProbeTable(state, ui, language)) return true;
  slot = previous;
  state.tab.main.probeCount = count;
  return false;
}

std::optional<int> DeleteProbe(ArmSessionState& state, int probe, Prompts& ui,
                               const Language& language) {
  if (!NamesProbe(state, probe)) return std::nullopt;
  const TabContents previous = state.tab;
  auto& probes = state.tab.probes;
  const auto count = static_cast<std::size_t>(ProbeCount(state));
  for (auto j = static_cast<std::size_t>(probe - 1); j + 1 < count; ++j) probes[j] = probes[j + 1];
  --state.tab.main.probeCount;
  if (SaveProbeTable(state, ui, language)) return probe - 1;
  state.tab = previous;
  return std::nullopt;
}

bool SaveProbeTable(const ArmSessionState& state, Prompts& ui, const Language& language) {
  if (WriteTabFile(state.tabPath, state.tab) == TabWriteError::None) return true;
  ui.ShowMessage(LocalText(kTextTabSavingError, language), kLibraryCaption, MessageIcon::Error);
  return false;
}

}  // namespace pilvo
