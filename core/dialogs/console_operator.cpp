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

void ConsoleOperator::ArmDisconnected() {
  out_ << "arm not connected\n" << std::flush;
}

}  // namespace pilvo
