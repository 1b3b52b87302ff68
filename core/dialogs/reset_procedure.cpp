#include "dialogs/reset_procedure.h"

#include <algorithm>
#include <bit>

#include "data/local_text.h"
#include "data/settings.h"
#include "dialogs/temperature_choice.h"
#include "session/arm_initialisation.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"
#include "session/probe_table.h"

namespace pilvo {
namespace {

constexpr int kTextWizardTitle = 2004;
constexpr int kTextLibraryTitle = 2005;
constexpr int kTextInstruction = 2006;
constexpr int kTextInsertTemperature = 2007;
constexpr int kTextCancel = 2008;
constexpr int kTextMarkStatus = 2009;
constexpr int kTextCompensationEnabled = 2016;
constexpr int kTextRotatingTable = 2019;
constexpr int kTextFactoryCalibration = 2420;

constexpr std::string_view kSizeSection = "Options";
constexpr std::string_view kSizeKey = "ResetResize";
constexpr int kReducedByDefault = 1;

constexpr std::uint32_t kIndicatorBits = (1u << kMaxJoints) - 1;

std::vector<std::string> ProbeLines(const ArmSessionState& state, const Language& language) {
  std::vector<std::string> lines{LocalText(kTextFactoryCalibration, language)};
  const int count = std::clamp(state.tab.main.probeCount, 0, kMaxProbes);
  for (int probe = 0; probe < count; ++probe) lines.push_back(state.tab.probes[probe].probeName);
  return lines;
}

}  // namespace

ResetProcedure::ResetProcedure(ArmSession& session, const ResetDialogSetup& setup)
    : session_(session),
      setup_(setup),
      title_(LocalText(session.context().isLibrary() ? kTextLibraryTitle : kTextWizardTitle,
                       session.language())),
      instruction_(LocalText(kTextInstruction, session.language())),
      markStatusLabel_(LocalText(kTextMarkStatus, session.language())),
      cancelLabel_(LocalText(kTextCancel, session.language())),
      temperatureText_(LocalText(
          setup.temperatureSensors == 0 ? kTextInsertTemperature : kTextCompensationEnabled,
          session.language())),
      temperatureLine_(AmbientTemperatureLine(setup.ambientTemperature)),
      reduced_(GetSettingInt(kSizeSection, kSizeKey, kReducedByDefault,
                             session.context().productStore()) == kReducedByDefault),
      viewPose_(ResetViewPose(0, {}, UsesVariantGeometry(session.state().tab.main.armVariant))) {
  session_.SelectProbe(setup.toolInUse);
  if (setup.probeManagement) probeLines_ = ProbeLines(session_.state(), session_.language());
  LabelEncoders();
}

void ResetProcedure::LabelEncoders() {
  const ArmSessionState& state = session_.state();
  const ArmOptions& options = state.tab.main.options;
  int shown = std::clamp(state.tab.main.jointCount, 0, kMaxJoints);
  // Board 3's third axis is a joint only while the probe in use carries its companion.
  if (options.board3ThirdAxis && !SelectedProbeRecord(state).options.board3ThirdAxisCompanion) {
    shown = std::max(shown - 1, 0);
  }
  encoderLabels_.clear();
  for (int encoder = 1; encoder <= shown; ++encoder) {
    encoderLabels_.push_back("ENCODER " + std::to_string(encoder));
  }
  if (options.tableChannel && shown > 0)
    encoderLabels_.back() = LocalText(kTextRotatingTable, session_.language());
  viewPose_.rotatingProbe = DrawsRotatingProbe(state);
}

int ResetProcedure::marksFound() const {
  return std::popcount(markMask_);
}

bool ResetProcedure::temperatureChoiceShown() const {
  return setup_.temperatureCompensation && setup_.temperatureSensors == 0;
}

const std::vector<std::string>& ResetProcedure::temperatureLines() const {
  return AmbientTemperatureLines();
}

std::int32_t ResetProcedure::probeLine() const {
  if (!probeChoiceShown()) return -1;
  if (!probeChoiceEnabled()) return 0;
  const std::int32_t probe = session_.state().toolInUse;
  return probe >= 0 && probe < static_cast<std::int32_t>(probeLines_.size()) ? probe : -1;
}

ResetDialogOutcome ResetProcedure::outcome() const {
  return {.ok = state_ == State::Ok,
          .cancelCode = resultCode_,
          .ambientTemperature = temperatureLine_ < 0 ? setup_.ambientTemperature
                                                     : kLowestAmbientTemperature + temperatureLine_,
          .toolInUse = session_.state().toolInUse};
}

void ResetProcedure::Tick() {
  if (state_ != State::Running) return;
  std::uint32_t mask = 0;
  const int found = LeggeTacche(session_, mask);
  if (found < 0) {
    resultCode_ = found;
    state_ = State::Cancelled;
    return;
  }
  // A failed read closes the link, and the next tick's mark query ends the dialog.
  session_.ReadArmCounts();
  markMask_ = mask & kIndicatorBits;

  std::array<double, kMaxJoints> radians{};
  session_.ReadJointAngles(radians);
  viewPose_ = ResetViewPose(mask, radians, viewPose_.variantGeometry);
  viewPose_.rotatingProbe = DrawsRotatingProbe(session_.state());

  if (found == 1) {
    session_.prompts().Beep();
    state_ = State::Ok;
  }
}

void ResetProcedure::Cancel() {
  if (state_ == State::Running) state_ = State::Cancelled;
}

bool ResetProcedure::SelectProbe(std::int32_t line) {
  if (state_ != State::Running || !probeChoiceEnabled()) return false;
  if (line < 0 || line >= static_cast<std::int32_t>(probeLines_.size())) return false;
  session_.SelectProbe(line);
  LabelEncoders();
  return true;
}

bool ResetProcedure::SelectTemperature(std::int32_t line) {
  if (state_ != State::Running || !temperatureChoiceShown()) return false;
  if (AmbientTemperatureLine(kLowestAmbientTemperature + line) < 0) return false;
  temperatureLine_ = line;
  return true;
}

void ResetProcedure::Enlarge() {
  StoreReduced(false);
}

void ResetProcedure::Reduce() {
  StoreReduced(true);
}

void ResetProcedure::StoreReduced(bool reduced) {
  reduced_ = reduced;
  WriteSettingInt(kSizeSection, kSizeKey, reduced ? 1 : 0, session_.context().productStore());
}

}  // namespace pilvo
