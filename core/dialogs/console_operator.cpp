#include "dialogs/console_operator.h"

namespace pilvo {
namespace {

std::string_view KindOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return "error";
    case MessageIcon::Warning:
      return "warning";
    case MessageIcon::Question:
      return "question";
    case MessageIcon::None:
      return "message";
    case MessageIcon::Information:
      break;
  }
  return "information";
}

}  // namespace

ConsoleOperator::ConsoleOperator(std::ostream& out) : out_(out) {}

void ConsoleOperator::ShowMessage(std::string_view text, std::string_view caption,
                                  MessageIcon icon) {
  out_ << caption << " (" << KindOf(icon) << "): " << text << '\n' << std::flush;
}

bool ConsoleOperator::AskYesNo(std::string_view text, std::string_view caption) {
  // No is the default button of every confirmation.
  out_ << caption << " (question): " << text << "\n-> No\n" << std::flush;
  return false;
}

std::optional<std::size_t> ConsoleOperator::ChooseFromList(std::string_view title,
                                                           const std::vector<std::string>& lines) {
  if (lines.empty()) return std::nullopt;
  out_ << title << ":\n";
  for (const auto& line : lines) out_ << "  " << line << '\n';
  out_ << "-> " << lines.front() << '\n' << std::flush;
  return 0;
}

std::optional<std::filesystem::path> ConsoleOperator::ChooseFileToOpen(
    std::string_view filter, std::string_view, const std::filesystem::path& folder) {
  out_ << "open file (" << filter << ") in " << folder.string() << "\n-> Cancel\n" << std::flush;
  return std::nullopt;
}

void ConsoleOperator::UpdateLimitsWarning(std::uint32_t outMask, std::span<const double>) {
  if (outMask == reportedMask_) return;
  reportedMask_ = outMask;
  out_ << "joint limits: outside their range:";
  for (int joint = 0; joint < 32; ++joint) {
    if ((outMask >> joint & 1u) != 0) out_ << " joint " << joint + 1;
  }
  out_ << '\n' << std::flush;
}

void ConsoleOperator::HideLimitsWarning() {
  reportedMask_ = 0;
  out_ << "joint limits: every joint within its range\n" << std::flush;
}

void ConsoleOperator::ArmConnected(std::string_view probeTooltip) {
  out_ << "arm connected: " << probeTooltip << '\n' << std::flush;
}

void ConsoleOperator::ArmDisconnected() {
  out_ << "arm not connected\n" << std::flush;
}

}  // namespace pilvo
