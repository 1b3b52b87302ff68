#include "session/arm_initialisation.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/local_text.h"
#include "data/settings.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"
#include "session/probe_table.h"
#include "session/reference_frame.h"
#include "session/rotating_table.h"

namespace pilvo {
namespace {

constexpr int kTextWrongArm = 2120;
constexpr std::int32_t kDefaultAmbientTemperature = 21;
constexpr std::int32_t kFirstWrapWindow = 5000;
// Boards from this firmware on keep battery thresholds of their own.
constexpr int kFirstFirmwareWithThresholds = 15;

bool IsLibrary(const ArmSession& session) {
  return session.context().isLibrary();
}

std::string_view CaptionOf(const ArmSession& session) {
  return session.context().caption();
}

// A TAB file of another arm is only reported: the operator may know better.
void CheckArmIdentity(ArmSession& session) {
  ArmBoard& board = session.board();
  ArmIdentity identity;
  if (board.QueryArmIdentity(identity) != board::kOk) {
    board.SetFirmwareCode(0);
    return;
  }
  std::array<char, 5> name{};
  const std::string& baseName = session.state().tab.main.name;
  std::copy_n(baseName.begin(), std::min<std::size_t>(baseName.size(), 4), name.begin());
  if (std::memcmp(name.data(), identity.identifier.data(), 4) != 0) {
    const std::string text = LocalText(kTextWrongArm, session.language());
    char message[160];
    std::snprintf(message, sizeof message, "TAB file (%s) %s %s", name.data(), text.c_str(),
                  identity.identifier.data());
    session.prompts().ShowMessage(message, CaptionOf(session), MessageIcon::Error);
  }
  board.SetFirmwareCode(FirmwareCodeOfVersion(identity.version.data()));
}

void SyncBatteryThresholds(ArmSession& session) {
  ArmBoard& board = session.board();
  if (board.firmwareCode() < kFirstFirmwareWithThresholds) return;
  std::array<std::uint8_t, 5> stored{};
  if (board.ReadBatteryThresholds(stored) != board::kOk) return;
  const auto& wanted = session.state().working.supplyThresholdBytes;
  const bool differ = !std::equal(stored.begin(), stored.begin() + 4, wanted.begin(),
                                  [](std::uint8_t a, std::int32_t b) { return a == b; });
  if (differ) board.WriteBatteryThresholds();
}

int LoadProbes(ArmSession& session) {
  double sphereDiameter = 0.0;
  return LoadProbeSelection(session.state(), session.prompts(), sphereDiameter,
                            session.context().installationStore(), session.language());
}

void ShowConnected(ArmSession& session) {
  if (IsLibrary(session))
    session.display().ArmConnected(BuildProbeTooltip(session.state(), session.language()));
  session.NotifyConnected();
}

void AlignTable(ArmSession& session, bool offerReuse) {
  ArmSessionState& state = session.state();
  if (!state.working.options.tableChannel) return;
  AlignRotatingTable(offerReuse, state.frames, session.dialogs().MakeAlignmentDialog(session),
                     session.context().Store(kRotatingTableFile));
}

// A failed acknowledge of the probe's inputs has closed the link: the arm is not ready then.
bool ApplyProbeOnOpenLink(ArmSession& session) {
  ApplySelectedProbe(session);
  return session.link().IsOpen();
}

// The board kept its reference: nothing to reset.
int KeepReference(ArmSession& session) {
  LoadProbes(session);
  if (!ApplyProbeOnOpenLink(session)) return initialise_result::kLinkFailed;
  ShowConnected(session);
  session.state().frames.tableAligned = false;
  AlignTable(session, true);
  return initialise_result::kDone;
}

void StoreAmbientTemperature(ArmSession& session, std::int32_t temperature) {
  session.state().working.ambientTemperature = temperature;
  WriteSettingInt("TEMPERATURA", "Ambiente", temperature, session.profileStore());
}

// The operator's part of a reset: 0 to go on, else the code the initialisation returns.
int RunOperatorReset(ArmSession& session) {
  ArmSessionState& state = session.state();
  const ArmRecord& working = state.working;
  const bool typedTemperature =
      working.options.temperatureCompensation && working.temperatureSensors == 0;
  // Arms with sensors need it too, for the channels their board gives none for; only a typed
  // temperature is asked for and written back.
  state.working.ambientTemperature = StoredAmbientTemperature(session.profileStore());
  if (!working.options.resetDialog) {
    if (typedTemperature) {
      StoreAmbientTemperature(session, session.dialogs().RunTemperatureDialog(
                                           session, state.working.ambientTemperature));
    }
    return initialise_result::kDone;
  }

  ResetDialogSetup setup;
  setup.tabPath = state.tabPath;
  setup.temperatureCompensation = working.options.temperatureCompensation;
  setup.temperatureSensors = working.temperatureSensors;
  setup.ambientTemperature = working.ambientTemperature;
  setup.probeManagement = LoadProbes(session) == 1;
  setup.toolInUse = state.toolInUse;
  const ResetDialogOutcome outcome = session.dialogs().RunResetDialog(session, setup);
  if (!outcome.ok) {
    if (outcome.cancelCode == initialise_result::kKeepsLinkOpen) return outcome.cancelCode;
    session.link().ChiudePorta();
    return outcome.cancelCode == 0 ? initialise_result::kResetCancelled : outcome.cancelCode;
  }
  if (typedTemperature) StoreAmbientTemperature(session, outcome.ambientTemperature);
  state.toolInUse = outcome.toolInUse;
  WriteSettingInt("Tools", "toolInUse", outcome.toolInUse, session.context().installationStore());
  return initialise_result::kDone;
}

int Finish(ArmSession& session) {
  ArmSessionState& state = session.state();
  if (!ApplyProbeOnOpenLink(session)) return initialise_result::kLinkFailed;
  // A first run writes the window but keeps measuring without it until the next
  // initialisation reads it back.
  const auto window = static_cast<std::int32_t>(
      GetSettingInt("UNIDIREZIONALE", "Valore", 0, session.profileStore()));
  if (window == 0) {
    WriteSettingInt("UNIDIREZIONALE", "Valore", kFirstWrapWindow, session.profileStore());
  }
  session.board().SetWrapWindow(window);
  AlignTable(session, false);
  ShowConnected(session);
  if (IsLibrary(session) && state.working.batteryPresent > 0) session.RefreshSupplyDisplay();
  return initialise_result::kDone;
}

// Spreads the marks of the counted axes over the joints: the inserted joint 2 has no encoder,
// so the marks from the third counted axis on move up one joint.
std::uint32_t SpreadOverInsertedAxis(std::uint32_t found, int jointCount) {
  std::array<bool, kMaxJoints> flags{};
  for (std::size_t i = 0; i < kMaxJoints; ++i) flags[i] = ((found >> i) & 1u) != 0;
  std::copy_backward(flags.begin() + 2, flags.begin() + 7, flags.begin() + 8);
  std::uint32_t spread = 0;
  for (int i = 0; i < std::clamp(jointCount, 0, kMaxJoints); ++i) {
    if (flags[static_cast<std::size_t>(i)]) spread |= 1u << i;
  }
  return spread;
}

// The joints that must have found their mark: bit j for joint j.
std::uint32_t RequiredMarks(const ArmSessionState& state) {
  const ArmRecord& base = state.tab.main;
  int joints = base.jointCount;
  if (base.options.insertedAxis) --joints;
  if (base.options.board3ThirdAxis &&
      !SelectedProbeRecord(state).options.board3ThirdAxisCompanion) {
    --joints;
  }
  joints = std::clamp(joints, 0, 31);
  return (1u << joints) - 1u;
}

}  // namespace

std::int32_t StoredAmbientTemperature(const SettingsStore& profileStore) {
  return static_cast<std::int32_t>(
      GetSettingInt("TEMPERATURA", "Ambiente", kDefaultAmbientTemperature, profileStore));
}

int InitialiseArm(ArmSession& session, InitialiseMode mode) {
  ArmLink& link = session.link();
  ArmBoard& board = session.board();
  ArmSessionState& state = session.state();
  // The counts are referenced anew: the readings before tell nothing of those after.
  state.reading.lastTaken.Forget();
  if (!link.IsOpen() && link.OpenArmPort() != 0) return initialise_result::kLinkFailed;

  if (!link.IsUsb()) {
    // A serial board never keeps its reference.
    if (board.ProbeSerialPresence() != board::kOk) return initialise_result::kNoSerialPresence;
  } else {
    CheckArmIdentity(session);
    SyncBatteryThresholds(session);
    LoadProbes(session);
    bool validReference = false;
    if (board.ConfigureForInitialisation(validReference) != board::kOk) {
      link.ChiudePorta();
      return initialise_result::kLinkFailed;
    }
    if (validReference) return KeepReference(session);
  }

  state.reading.swapBusy = false;
  state.reading.swapTimer = 0;
  state.frames.tableAligned = false;
  ResetUserFrame(state.frames);
  board.BuildSerialRequest(0);
  state.tables.offsets = state.working.encoderOffsets;

  if (mode == InitialiseMode::Reset) {
    if (const int result = RunOperatorReset(session); result != initialise_result::kDone) {
      return result;
    }
  }
  return Finish(session);
}

int LeggeTacche(ArmSession& session, std::uint32_t& mask) {
  const ArmSessionState& state = session.state();
  if (!state.working.options.referenceMarks) return marks_result::kNoMarks;
  if (!session.link().IsOpen()) return board::kLinkClosed;
  const std::uint32_t required = RequiredMarks(state);

  std::uint32_t found = 0;
  const bool companion = SelectedProbeRecord(state).options.board3ThirdAxisCompanion;
  if (const int read = session.board().ReadReferenceMarks(companion, found); read != board::kOk) {
    return read;
  }
  const bool complete = (found & required) == required;
  if (complete) session.board().ConfirmReferenceMarks();

  if (state.working.options.insertedAxis) {
    found = SpreadOverInsertedAxis(found, state.working.jointCount);
  }
  mask = found;
  return complete ? marks_result::kComplete : marks_result::kPending;
}

}  // namespace pilvo
