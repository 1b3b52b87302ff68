#include "dialogs/probes_dialog.h"

#include <algorithm>
#include <optional>

#include "data/local_text.h"
#include "data/number_text.h"
#include "session/arm_initialisation.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"
#include "session/probe_table.h"

namespace pilvo {
namespace {

constexpr std::string_view kCommunicationError = "_communication error";
constexpr std::string_view kUseDotInProbeDiameter = "_use dot(.) not comma(,)";
constexpr std::string_view kNoReport = " -";

constexpr int kTextApply = 2018;
constexpr int kTextTitle = 2400;
constexpr int kTextAdd = 2401;
constexpr int kTextDelete = 2402;
constexpr int kTextModify = 2403;
constexpr int kTextProbeDiameter = 2404;
constexpr int kTextCompute = 2405;
constexpr int kTextSave = 2406;
constexpr int kTextAbort = 2407;
constexpr int kTextQualifySphereDiameter = 2408;
constexpr int kTextResetMemory = 2409;
constexpr int kTextGreenButton = 2410;
constexpr int kTextNewProbeName = 2411;
constexpr int kTextFactoryCalibration = 2420;
constexpr int kTextFactoryTool = 2423;
constexpr int kTextConfirmDelete = 2425;
constexpr int kTextNotCalibrated = 2426;
constexpr int kTextInsertMode = 2427;
constexpr int kTextUseDot = 2428;
constexpr int kTextInCalibration = 2429;
constexpr int kTextScannerCalibrates = 2430;
constexpr int kTextNotAvailable = 2434;
constexpr int kTextPointCalibrationHint = 2436;
constexpr int kTextEcu = 2438;
constexpr int kTextProbe = 2439;
constexpr int kTextAdditionalAxis = 2440;
constexpr int kTextSaveUncalibrated = 2442;

// In the form ParseLength reads back, whatever the locale.
std::string Millimetres(double value) {
  return FixedText(value, 3);
}

// At most one auxiliary-input flag names the mode.
void SetModeFlags(ArmOptions& options, ProbeMode mode) {
  options.auxiliaryInput0 = mode == ProbeMode::Renishaw;
  options.auxiliaryInput1 = mode == ProbeMode::ScannerEcu;
  options.auxiliaryInput2 = mode == ProbeMode::ScannerProbe;
}

bool IsScanner(ProbeMode mode) {
  return mode == ProbeMode::ScannerEcu || mode == ProbeMode::ScannerProbe;
}

// The record the readings use from now on; the ambient temperature of the initialisation stays.
void MakeWorking(ArmSessionState& state, const ArmRecord& record) {
  const std::int32_t ambient = state.working.ambientTemperature;
  CopyRecord(state.working, record);
  state.working.ambientTemperature = ambient;
}

}  // namespace

ProbeMode ProbeModeOf(const ArmOptions& options) {
  if (options.auxiliaryInput2) return ProbeMode::ScannerProbe;
  if (options.auxiliaryInput1) return ProbeMode::ScannerEcu;
  if (options.auxiliaryInput0) return ProbeMode::Renishaw;
  return ProbeMode::Standard;
}

ProbesDialogLabels MakeProbesDialogLabels(const Language& language) {
  return {.title = LocalText(kTextTitle, language),
          .apply = LocalText(kTextApply, language),
          .cancel = "_Cancel",
          .add = LocalText(kTextAdd, language),
          .remove = LocalText(kTextDelete, language),
          .modify = LocalText(kTextModify, language),
          .name = LocalText(kTextNewProbeName, language),
          .mode = "Mode",
          .probeDiameter = LocalText(kTextProbeDiameter, language),
          .unit = "mm",
          .resetMemory = LocalText(kTextResetMemory, language),
          .greenButton = LocalText(kTextGreenButton, language),
          .additionalAxis = LocalText(kTextAdditionalAxis, language),
          .sphereDiameter = LocalText(kTextQualifySphereDiameter, language) +
                            LocalText(kTextPointCalibrationHint, language),
          .compute = LocalText(kTextCompute, language),
          .save = LocalText(kTextSave, language),
          .abort = LocalText(kTextAbort, language),
          .modes = {"Standard", "Renishaw", "Scanner (" + LocalText(kTextEcu, language) + ")",
                    "Scanner (" + LocalText(kTextProbe, language) + ")"}};
}

ProbesDialog::ProbesDialog(ArmSession& session, double sphereDiameter)
    : session_(session),
      storedSphereDiameter_(sphereDiameter),
      selection_(std::clamp(session.state().toolInUse, 0, ProbeCount())),
      initialAdditionalAxis_(session.state().working.options.board3ThirdAxisCompanion),
      acquisition_(session.language()) {
  session_.SetProbesDialogOpen(true);
  session_.board().SetProbeMode(1);
  fields_.sphereDiameter = Millimetres(sphereDiameter);
  controls_.selector = ProbeCount() >= 1;
  ShowSelectionFields();
}

ProbesDialog::~ProbesDialog() {
  if (closed_) return;
  session_.SetProbesDialogOpen(false);
}

ArmSessionState& ProbesDialog::state() {
  return session_.state();
}

const ArmSessionState& ProbesDialog::state() const {
  return session_.state();
}

std::string ProbesDialog::Text(int id) const {
  return LocalText(id, session_.language());
}

int ProbesDialog::ProbeCount() const {
  return std::clamp(state().tab.main.probeCount, 0, kMaxProbes);
}

const ArmRecord& ProbesDialog::SelectedRecord() const {
  return selection_ == 0 ? state().tab.main
                         : state().tab.probes[static_cast<std::size_t>(selection_ - 1)];
}

ProbesDialogLabels ProbesDialog::labels() const {
  return MakeProbesDialogLabels(session_.language());
}

std::vector<std::string> ProbesDialog::selectorItems() const {
  std::vector<std::string> items{Text(kTextFactoryCalibration)};
  for (int probe = 0; probe < ProbeCount(); ++probe) {
    items.push_back(state().tab.probes[static_cast<std::size_t>(probe)].probeName);
  }
  return items;
}

ResidualPlot ProbesDialog::residualPlot() const {
  return computed_ ? acquisition_.residualPlot() : ResidualPlot{};
}

void ProbesDialog::ShowSelectionFields() {
  const ArmRecord& record = SelectedRecord();
  reportLines_.clear();
  fields_.probeDiameter = Millimetres(2.0 * record.probeRadius);
  fields_.name = record.probeName;
  if (selection_ != 0) reportLines_.push_back(record.probeText2);
  fields_.mode = ProbeModeOf(record.options);
  fields_.resetMemory = record.options.probeMode;
  fields_.greenButton = record.options.buttonRemap;
  fields_.additionalAxis = record.options.board3ThirdAxisCompanion;
}

void ProbesDialog::EnterEditing(bool adding) {
  controls_ = {.selector = false,
               .add = false,
               .modify = false,
               .remove = false,
               .apply = false,
               .name = true,
               .probeDiameter = true,
               .lists = true,
               .resetMemory = true,
               .greenButton = true,
               .additionalAxis = state().tab.main.options.board3ThirdAxis,
               .modes = true,
               .compute = true,
               .save = true,
               .abort = true};
  if (adding) reportLines_.clear();
  reportLines_.push_back(TooFewCalibrationPointsMessage(session_.language()));
  acquisition_.Start();
  adding_ = adding;
  computed_ = false;
  editing_ = true;
  pointListShown_ = true;
}

void ProbesDialog::LeaveEditing() {
  controls_ = ProbeControls{};
  controls_.selector = ProbeCount() >= 1;
  reportLines_.clear();
  acquisition_.Start();
  computed_ = false;
  editing_ = false;
  pointListShown_ = false;
}

void ProbesDialog::DropCalibration() {
  acquisition_.DropResult();
  probeCopy_ = state().working;
  computed_ = false;
}

void ProbesDialog::Message(std::string_view text) {
  session_.prompts().ShowMessage(text, kLibraryCaption, MessageIcon::Error);
}

bool ProbesDialog::Ask(int textId) {
  return session_.prompts().AskYesNo(Text(textId), kLibraryCaption);
}

bool ProbesDialog::ReadDiameters(double& probeDiameter, double& sphereDiameter) {
  if (!session_.context().isLibrary()) {
    if (fields_.probeDiameter.find(',') != std::string::npos) {
      Message(kUseDotInProbeDiameter);
      return false;
    }
    if (fields_.sphereDiameter.find(',') != std::string::npos) {
      Message(Text(kTextUseDot));
      return false;
    }
  }
  const std::optional<double> probe = ParseLength(fields_.probeDiameter);
  const std::optional<double> sphere = ParseLength(fields_.sphereDiameter);
  if (!probe || !sphere) {
    session_.prompts().ShowMessage(kEnterNumber, kLibraryCaption, MessageIcon::Warning);
    return false;
  }
  probeDiameter = *probe;
  sphereDiameter = *sphere;
  return true;
}

void ProbesDialog::SelectProbe(int index) {
  if (editing_ || index < 0 || index > ProbeCount()) return;
  selection_ = index;
  ShowSelectionFields();
}

void ProbesDialog::SetName(std::string text) {
  fields_.name = std::move(text);
}

void ProbesDialog::SetProbeDiameterText(std::string text) {
  if (text != fields_.probeDiameter && acquisition_.hasResult()) DropCalibration();
  fields_.probeDiameter = std::move(text);
}

void ProbesDialog::SetSphereDiameterText(std::string text) {
  if (text != fields_.sphereDiameter && acquisition_.hasResult()) DropCalibration();
  fields_.sphereDiameter = std::move(text);
}

void ProbesDialog::SetGreenButton(bool on) {
  fields_.greenButton = on;
  state().working.options.buttonRemap = on;
}

void ProbesDialog::ChooseMode(ProbeMode mode) {
  if (!controls_.modes || pointCount() > 0 || mode == ProbeMode::None) return;
  DropCalibration();
  fields_.mode = mode;
  computed_ = IsScanner(mode);
  reportLines_ = {TooFewCalibrationPointsMessage(session_.language())};
  if (computed_) {
    reportLines_.emplace_back();
    reportLines_.push_back(Text(kTextScannerCalibrates));
  }
  controls_.greenButton = mode == ProbeMode::Standard;
  if (mode != ProbeMode::Standard) SetGreenButton(false);

  ArmBoard& board = session_.board();
  board.ConfigureBoards();
  if (mode == ProbeMode::Renishaw) {
    state().working.options.auxiliaryInput0 = true;
    board.AcknowledgeInput(0);
  }
}

void ProbesDialog::Add() {
  if (editing_) return;
  const std::optional<ArmRecord> probe =
      NewProbeRecord(state(), selection_, session_.prompts(), session_.language());
  if (!probe) return;
  EnterEditing(true);
  nameFocus_ = true;
  ProbeFields fields;
  fields.name = probe->probeName;
  fields.sphereDiameter = fields_.sphereDiameter;
  fields_ = fields;
  MakeWorking(state(), SelectedRecord());
  // The cleared box holds for the readings too: button 1 takes the points.
  SetGreenButton(false);
  target_ = ProbeCount();
  probeCopy_ = state().working;
}

void ProbesDialog::Modify() {
  if (editing_) return;
  if (selection_ == 0) {
    Message(Text(kTextFactoryTool));
    return;
  }
  EnterEditing(false);
  target_ = selection_ - 1;
  const ArmRecord& probe = state().tab.probes[static_cast<std::size_t>(target_)];
  MakeWorking(state(), probe);
  probeCopy_ = state().working;
  if (ProbeModeOf(probe.options) != ProbeMode::Standard) controls_.greenButton = false;
  ArmBoard& board = session_.board();
  board.ConfigureBoards();
  if (probe.options.auxiliaryInput0) {
    state().working.options.auxiliaryInput0 = true;
    board.AcknowledgeInput(0);
  }
}

void ProbesDialog::Delete() {
  if (editing_) return;
  if (selection_ == 0) {
    Message(Text(kTextFactoryTool));
    return;
  }
  if (!Ask(kTextConfirmDelete)) return;
  const int deleted = selection_;
  const std::optional<int> previous =
      DeleteProbe(state(), deleted, session_.prompts(), session_.language());
  if (!previous) return;
  selection_ = *previous;
  // The probe in use keeps its record: its number follows the table, and a deleted one gives
  // way to the factory calibration, in memory and in the store alike.
  const std::int32_t inUse = state().toolInUse;
  if (inUse >= deleted) {
    session_.SelectProbe(inUse == deleted ? 0 : inUse - 1);
    StoreProbeSelection(state(), storedSphereDiameter_, session_.context().installationStore());
  } else {
    session_.NotifyProbeChanged();
  }
  modified_ = true;
  controls_.selector = ProbeCount() >= 1;
  ShowSelectionFields();
}

void ProbesDialog::Compute() {
  if (!editing_) return;
  if (fields_.mode == ProbeMode::None) {
    Message(Text(kTextInsertMode));
    return;
  }
  double probeDiameter = 0.0;
  double sphereDiameter = 0.0;
  if (!ReadDiameters(probeDiameter, sphereDiameter)) return;
  if (pointCount() < kMinCalibrationPoints) {
    Message(TooFewCalibrationPointsMessage(session_.language()));
    return;
  }
  const int result =
      acquisition_.Compute(state().working, probeDiameter, sphereDiameter, probeCopy_);
  const auto& report = acquisition_.report();
  reportLines_.insert(reportLines_.end(), report.begin(), report.end());
  computed_ = result == kCalibrationDone;
  if (computed_) pointListShown_ = false;
}

void ProbesDialog::Save() {
  if (!editing_) return;
  if (!computed_ && pointCount() > 0) {
    if (Ask(kTextNotCalibrated)) {
      LeaveEditing();
      ShowSelectionFields();
    }
    return;
  }
  const ProbeMode mode = fields_.mode;
  if (mode == ProbeMode::None) {
    Message(Text(kTextInsertMode));
    return;
  }
  double probeDiameter = 0.0;
  double sphereDiameter = 0.0;
  if (!ReadDiameters(probeDiameter, sphereDiameter)) return;
  if (pointCount() == 0 && !IsScanner(mode) && !Ask(kTextSaveUncalibrated)) return;

  ArmRecord probe = probeCopy_;
  probe.probeRadius = static_cast<float>(probeDiameter * 0.5);
  probe.probeName = fields_.name;
  // Without a calibration sigma is 0.
  const ProbeOffsetFit fit = acquisition_.fit();
  probe.probeText2 = fit.sigma != 0.0
                         ? CalibrationResultLine(sphereDiameter, fit, session_.language())
                         : std::string(kNoReport);
  SetModeFlags(probe.options, mode);
  probe.options.probeMode = fields_.resetMemory;
  probe.options.buttonRemap = fields_.greenButton;
  probe.options.board3ThirdAxisCompanion = fields_.additionalAxis;

  // A file that cannot be written leaves the table as the file has it, and the edit open.
  const TabContents previous = state().tab;
  state().tab.probes[static_cast<std::size_t>(target_)] = probe;
  if (adding_) state().tab.main.probeCount = target_ + 1;
  if (!SaveProbeTable(state(), session_.prompts(), session_.language())) {
    state().tab = previous;
    return;
  }
  MakeWorking(state(), probe);
  if (adding_) selection_ = target_ + 1;
  modified_ = true;
  LeaveEditing();
  ShowSelectionFields();
}

void ProbesDialog::Abort() {
  if (!editing_) return;
  if (pointCount() > 0 && !Ask(kTextNotCalibrated)) return;
  LeaveEditing();
  ShowSelectionFields();
}

void ProbesDialog::Apply() {
  if (closed_) return;
  if (editing_ && !Ask(kTextInCalibration)) return;
  const std::optional<double> sphereDiameter = ParseLength(fields_.sphereDiameter);
  if (!sphereDiameter) {
    session_.prompts().ShowMessage(kEnterNumber, kLibraryCaption, MessageIcon::Warning);
    return;
  }
  session_.SelectProbe(selection_);
  StoreProbeSelection(state(), *sphereDiameter, session_.context().installationStore());
  Close();
}

void ProbesDialog::Cancel() {
  Close();
}

void ProbesDialog::Close() {
  if (closed_) return;
  closed_ = true;
  editing_ = false;
  ArmSessionState& arm = state();
  session_.SetProbesDialogOpen(false);
  ArmBoard& board = session_.board();
  board.ConfigureBoards();
  ApplySelectedProbe(session_);
  session_.NotifyProbeChanged();
  if (session_.context().isLibrary()) {
    session_.display().ArmConnected(BuildProbeTooltip(arm, session_.language()));
  }
  // A scanner axis switched on needs the boards configured for it and referenced.
  if (!initialAdditionalAxis_ && arm.working.options.board3ThirdAxisCompanion) {
    board.ReleaseArm();
    InitialiseArm(session_, InitialiseMode::Reset);
  }
}

void ProbesDialog::Tick() {
  if (!editing_) return;
  Pose pose{};
  std::int32_t status = 0;
  if (session_.LeggeQuota(pose, status) < 0) {
    LeaveEditing();
    ShowSelectionFields();
    Message(kCommunicationError);
    return;
  }
  const AcquisitionChange change = acquisition_.OnButtons(
      state().reading.dialogButtonMask, pose, fields_.mode != ProbeMode::None, session_.prompts());
  if (change.pointsTouched) {
    DropCalibration();
    pointListShown_ = true;
  }
  if (change.firstPointTaken) controls_.modes = false;
  if (change.lastPointDropped) controls_.modes = true;
}

std::unique_ptr<ProbesDialog> OpenProbesDialog(ArmSession& session) {
  double sphereDiameter = 0.0;
  if (LoadProbeSelection(session.state(), session.prompts(), sphereDiameter,
                         session.context().installationStore(), session.language()) < 1) {
    session.prompts().ShowMessage(LocalText(kTextNotAvailable, session.language()), kLibraryCaption,
                                  MessageIcon::Error);
    return nullptr;
  }
  return std::make_unique<ProbesDialog>(session, sphereDiameter);
}

}  // namespace pilvo
