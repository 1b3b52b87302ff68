#include "dialogs/operator_script.h"

#include <charconv>
#include <sstream>
#include <string_view>

#include "dialogs/temperature_choice.h"

namespace pilvo {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The first word of `text`, which keeps the rest without its leading blanks.
std::string_view TakeWord(std::string_view& text) {
  const auto end = text.find_first_of(" \t");
  const std::string_view word = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view{} : Trimmed(text.substr(end));
  return word;
}

// A whole non-negative decimal number and nothing after it.
template <class Number>
std::optional<Number> WholeNumber(std::string_view text) {
  Number value{};
  if (text.empty() || text.front() == '-') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "run N", "cancel" and, when `reuse` is offered, "reuse".
std::optional<DialogRun> DialogRunOf(std::string_view rest, bool reuse) {
  const std::string_view action = TakeWord(rest);
  if (action == "run") {
    const auto ticks = WholeNumber<int>(rest);
    if (!ticks) return std::nullopt;
    return DialogRun{.ticks = *ticks, .end = DialogRun::End::Cancel};
  }
  if (!rest.empty()) return std::nullopt;
  if (action == "cancel") return DialogRun{.ticks = 0, .end = DialogRun::End::Cancel};
  if (action == "reuse" && reuse) return DialogRun{.ticks = 0, .end = DialogRun::End::Reuse};
  return std::nullopt;
}

// Adds the answer of one line; false when the line is not understood.
bool AddLine(std::string_view line, OperatorScript& script) {
  std::string_view rest = line;
  const std::string_view kind = TakeWord(rest);
  if ((kind == "yes" || kind == "no") && rest.empty()) {
    script.answers.push_back(kind == "yes");
  } else if (kind == "choice") {
    if (rest == "cancel") {
      script.choices.push_back(std::nullopt);
    } else if (const auto chosen = WholeNumber<std::size_t>(rest)) {
      script.choices.push_back(*chosen);
    } else {
      return false;
    }
  } else if (kind == "file" && !rest.empty()) {
    if (rest == "cancel") {
      script.files.push_back(std::nullopt);
    } else {
      script.files.push_back(std::filesystem::path(rest));
    }
  } else if (kind == "temperature") {
    const auto temperature = WholeNumber<std::int32_t>(rest);
    if (!temperature || AmbientTemperatureLine(*temperature) < 0) return false;
    script.temperatures.push_back(*temperature);
  } else if (kind == "reset" || kind == "alignment") {
    const auto run = DialogRunOf(rest, kind == "alignment");
    if (!run) return false;
    (kind == "reset" ? script.resets : script.alignments).push_back(*run);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<OperatorScript> ParseOperatorScript(std::istream& in, std::string& error) {
  OperatorScript script;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string_view text = Trimmed(line);
    if (text.empty() || text.front() == '#') continue;
    if (!AddLine(text, script)) {
      std::ostringstream message;
      message << "line " << number << " not understood: " << text;
      error = message.str();
      return std::nullopt;
    }
  }
  if (in.bad()) {
    error = "the script could not be read";
    return std::nullopt;
  }
  return script;
}

}  // namespace pilvo
