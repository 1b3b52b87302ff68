#include "dialogs/console_operator.h"

#include <string>
#include <thread>

#include "dialogs/alignment_procedure.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"

namespace pilvo {
namespace {

constexpr std::chrono::milliseconds kDialogTick{kResetTickMs};
static_assert(kResetTickMs == kAlignmentTickMs, "one timer runs both dialogs");

// The labels of the encoders whose mark is found.
std::string MarkedEncoders(const ResetProcedure& procedure) {
  const auto& labels = procedure.encoderLabels();
  std::string text;
  for (std::size_t encoder = 0; encoder < labels.size(); ++encoder) {
    if ((procedure.markMask() >> encoder & 1u) == 0) continue;
    text += text.empty() ? "" : ", ";
    text += labels[encoder];
  }
  return text.empty() ? "none" : text;
}

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

ConsoleOperator::ConsoleOperator(std::ostream& out, std::chrono::milliseconds dialogTimeout,
                                 bool bell)
    : out_(out), dialogTimeout_(dialogTimeout), bell_(bell) {}

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

template <class Procedure, class Report>
void ConsoleOperator::RunTimed(Procedure& procedure, Report report) {
  using State = typename Procedure::State;
  const auto deadline = std::chrono::steady_clock::now() + dialogTimeout_;
  while (procedure.state() == State::Running) {
    std::this_thread::sleep_for(kDialogTick);
    if (std::chrono::steady_clock::now() >= deadline) {
      out_ << procedure.title() << ": no answer within " << dialogTimeout_.count()
           << " ms: Cancel\n"
           << std::flush;
      procedure.Cancel();
      return;
    }
    procedure.Tick();
    report();
  }
}

void ConsoleOperator::RunResetDialog(ResetProcedure& procedure) {
  out_ << procedure.title() << ": " << procedure.instruction() << " (" << procedure.tabPath()
       << ")\n"
       << std::flush;
  std::uint32_t reported = 0;
  RunTimed(procedure, [&] {
    if (procedure.markMask() == reported) return;
    reported = procedure.markMask();
    out_ << procedure.markStatusLabel() << ": " << MarkedEncoders(procedure) << '\n' << std::flush;
  });
  switch (procedure.state()) {
    case ResetProcedure::State::Ok:
      out_ << procedure.title() << ": every reference mark found\n";
      break;
    case ResetProcedure::State::Cancelled:
      if (procedure.resultCode() < 0) {
        out_ << procedure.title() << ": mark query failed (" << procedure.resultCode() << ")\n";
      }
      break;
    case ResetProcedure::State::Running:
      break;
  }
  out_ << std::flush;
}

void ConsoleOperator::RunTemperatureDialog(TemperatureChoice& choice) {
  choice.Ok();
  out_ << choice.title() << ": " << choice.text() << ": " << choice.temperature() << " \u00B0C\n"
       << std::flush;
}

void ConsoleOperator::RunAlignmentDialog(AlignmentProcedure& procedure) {
  out_ << procedure.title() << ": " << procedure.instructions() << '\n'
       << procedure.prompt() << '\n'
       << std::flush;
  std::string reported = procedure.prompt();
  RunTimed(procedure, [&] {
    if (procedure.prompt() == reported) return;
    reported = procedure.prompt();
    out_ << reported << '\n' << std::flush;
  });
  switch (procedure.state()) {
    case AlignmentProcedure::State::Ok:
      out_ << procedure.title() << ": " << kAlignmentPoints << " points taken\n";
      break;
    case AlignmentProcedure::State::Cancelled:
      if (const int code = procedure.result().errorCode; code < 0) {
        out_ << procedure.title() << ": reading failed (" << code << ")\n";
      }
      break;
    case AlignmentProcedure::State::Reused:
    case AlignmentProcedure::State::Running:
      break;
  }
  out_ << std::flush;
}

void ConsoleOperator::Beep() {
  if (bell_) out_ << '\a' << std::flush;
}

}  // namespace pilvo
