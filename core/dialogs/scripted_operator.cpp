#include "dialogs/scripted_operator.h"

#include <algorithm>

#include "dialogs/alignment_procedure.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"

namespace pilvo {
namespace {

template <class Answer>
std::optional<Answer> TakeFront(std::deque<Answer>& answers) {
  if (answers.empty()) return std::nullopt;
  Answer answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

// Runs the ticks of `run`, the hook before each, and ends a dialog still open as scripted.
// Returns the ticks run.
template <class Procedure>
int RunTicks(Procedure& procedure, const DialogRun& run, const std::function<void(int)>& hook) {
  using State = typename Procedure::State;
  int tick = 0;
  for (; tick < run.ticks && procedure.state() == State::Running; ++tick) {
    if (hook) hook(tick);
    procedure.Tick();
  }
  if constexpr (requires { procedure.Reuse(); }) {
    if (run.end == DialogRun::End::Reuse) procedure.Reuse();
  }
  procedure.Cancel();  // nothing when the dialog has closed
  return tick;
}

}  // namespace

void ScriptedOperator::ShowMessage(std::string_view text, std::string_view caption,
                                   MessageIcon icon) {
  requests_.push_back({Request::Kind::Message, std::string(text), std::string(caption), icon});
}

bool ScriptedOperator::AskYesNo(std::string_view text, std::string_view caption) {
  requests_.push_back(
      {Request::Kind::YesNo, std::string(text), std::string(caption), MessageIcon::Question});
  return TakeFront(answers_).value_or(false);
}

std::optional<std::size_t> ScriptedOperator::ChooseFromList(std::string_view title,
                                                            const std::vector<std::string>& lines) {
  requests_.push_back({Request::Kind::Choice, "", std::string(title), MessageIcon::Question});
  lastChoiceLines_ = lines;
  if (auto choice = TakeFront(choices_)) return *choice;
  return lines.empty() ? std::nullopt : std::optional<std::size_t>(0);
}

std::optional<std::filesystem::path> ScriptedOperator::ChooseFileToOpen(
    std::string_view filter, std::string_view, const std::filesystem::path& folder) {
  requests_.push_back(
      {Request::Kind::FileChoice, folder.string(), std::string(filter), MessageIcon::Question});
  return TakeFront(files_).value_or(std::nullopt);
}

void ScriptedOperator::ArmConnected(std::string_view probeTooltip) {
  requests_.push_back(
      {Request::Kind::Connected, std::string(probeTooltip), "", MessageIcon::Information});
}

void ScriptedOperator::ArmDisconnected() {
  requests_.push_back({Request::Kind::Disconnected, "", "", MessageIcon::Information});
}

void ScriptedOperator::ResetBatteryDisplay() {
  requests_.push_back({Request::Kind::BatteryReset, "", "", MessageIcon::Information});
}

void ScriptedOperator::RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord&) {
  ++supply_.refreshes;
  supply_.last = supply;
}

void ScriptedOperator::ShowLimitsWarning() {
  ++limits_.shows;
  limits_.visible = true;
}

void ScriptedOperator::UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) {
  ++limits_.updates;
  limits_.lastMask = outMask;
  limits_.angleCount = std::min(angles.size(), limits_.lastAngles.size());
  std::copy_n(angles.begin(), limits_.angleCount, limits_.lastAngles.begin());
}

void ScriptedOperator::HideLimitsWarning() {
  ++limits_.hides;
  limits_.visible = false;
}

void ScriptedOperator::RunResetDialog(ResetProcedure& procedure) {
  requests_.push_back(
      {Request::Kind::Reset, procedure.instruction(), procedure.title(), MessageIcon::None});
  lastDialogTicks_ = RunTicks(procedure, TakeFront(resets_).value_or(DialogRun{}), tickHook_);
}

void ScriptedOperator::RunTemperatureDialog(TemperatureChoice& choice) {
  requests_.push_back(
      {Request::Kind::Temperature, choice.text(), choice.title(), MessageIcon::None});
  if (const auto temperature = TakeFront(temperatures_)) {
    choice.Select(AmbientTemperatureLine(*temperature));
  }
  choice.Ok();
}

void ScriptedOperator::RunAlignmentDialog(AlignmentProcedure& procedure) {
  requests_.push_back(
      {Request::Kind::Alignment, procedure.instructions(), procedure.title(), MessageIcon::None});
  lastDialogTicks_ = RunTicks(procedure, TakeFront(alignments_).value_or(DialogRun{}), tickHook_);
}

void ScriptedOperator::Beep() {
  requests_.push_back({Request::Kind::Beep, "", "", MessageIcon::None});
}

void ScriptedOperator::AddScript(const OperatorScript& script) {
  answers_.insert(answers_.end(), script.answers.begin(), script.answers.end());
  choices_.insert(choices_.end(), script.choices.begin(), script.choices.end());
  files_.insert(files_.end(), script.files.begin(), script.files.end());
  temperatures_.insert(temperatures_.end(), script.temperatures.begin(), script.temperatures.end());
  resets_.insert(resets_.end(), script.resets.begin(), script.resets.end());
  alignments_.insert(alignments_.end(), script.alignments.begin(), script.alignments.end());
}

std::size_t ScriptedOperator::CountOf(Request::Kind kind) const {
  return static_cast<std::size_t>(std::count_if(
      requests_.begin(), requests_.end(), [kind](const Request& r) { return r.kind == kind; }));
}

}  // namespace pilvo
