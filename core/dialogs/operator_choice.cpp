#include "dialogs/operator_choice.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "dialogs/console_operator.h"
#include "dialogs/scripted_operator.h"

namespace pilvo {
namespace {

constexpr std::string_view kVariable = "PILVO_OPERATOR";
constexpr std::string_view kConsole = "console";
constexpr std::string_view kScriptPrefix = "script:";

std::unique_ptr<Operator> ConsoleOnStandardError() {
  // A bell only reaches a person when standard error is a terminal.
  return std::make_unique<ConsoleOperator>(std::cerr, kConsoleDialogTimeout,
                                           ::isatty(STDERR_FILENO) == 1);
}

std::unique_ptr<Operator> ScriptedFrom(const std::string& file) {
  std::ifstream in(file);
  std::string error = "cannot be opened";
  if (in) {
    if (const auto script = ParseOperatorScript(in, error)) {
      auto scripted = std::make_unique<ScriptedOperator>();
      scripted->AddScript(*script);
      return scripted;
    }
  }
  std::cerr << kVariable << ": script " << file << ": " << error << "; the console answers\n";
  return ConsoleOnStandardError();
}

bool DisplayIsThere() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<Operator> MakeOperatorFromEnvironment(const WindowsStarter& windows) {
  const char* value = std::getenv(std::string(kVariable).c_str());
  const std::string_view choice = value != nullptr ? value : "";
  if (choice == kConsole) return ConsoleOnStandardError();
  if (choice.starts_with(kScriptPrefix)) {
    return ScriptedFrom(std::string(choice.substr(kScriptPrefix.size())));
  }
  if (!choice.empty()) {
    std::cerr << kVariable << ": unknown operator \"" << choice << "\"; the console answers\n";
    return ConsoleOnStandardError();
  }
  if (!windows || !DisplayIsThere()) return ConsoleOnStandardError();
  std::string why;
  if (auto windowed = windows(why)) return windowed;
  std::cerr << "pilvo: the windows cannot start (" << why << "); the console answers\n";
  return ConsoleOnStandardError();
}

}  // namespace pilvo
