#include "dialogs/scripted_operator.h"

#include <algorithm>

namespace pilvo {

void ScriptedOperator::ShowMessage(std::string_view text, std::string_view caption,
                                   MessageIcon icon) {
  requests_.push_back({Request::Kind::Message, std::string(text), std::string(caption), icon});
}

bool ScriptedOperator::AskYesNo(std::string_view text, std::string_view caption) {
  requests_.push_back(
      {Request::Kind::YesNo, std::string(text), std::string(caption), MessageIcon::Question});
  if (answers_.empty()) return false;
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

std::optional<std::size_t> ScriptedOperator::ChooseFromList(std::string_view title,
                                                            const std::vector<std::string>& lines) {
  requests_.push_back({Request::Kind::Choice, "", std::string(title), MessageIcon::Question});
  lastChoiceLines_ = lines;
  if (choices_.empty()) return lines.empty() ? std::nullopt : std::optional<std::size_t>(0);
  const auto choice = choices_.front();
  choices_.pop_front();
  return choice;
}

std::optional<std::filesystem::path> ScriptedOperator::ChooseFileToOpen(
    std::string_view filter, std::string_view, const std::filesystem::path& folder) {
  requests_.push_back(
      {Request::Kind::FileChoice, folder.string(), std::string(filter), MessageIcon::Question});
  if (files_.empty()) return std::nullopt;
  auto file = std::move(files_.front());
  files_.pop_front();
  return file;
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

std::size_t ScriptedOperator::CountOf(Request::Kind kind) const {
  return static_cast<std::size_t>(std::count_if(
      requests_.begin(), requests_.end(), [kind](const Request& r) { return r.kind == kind; }));
}

}  // namespace pilvo
