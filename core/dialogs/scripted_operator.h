// The operator of the tests: records every request and answers from a script.
#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/operator_interface.h"

namespace pilvo {

class ScriptedOperator : public OperatorInterface {
 public:
  struct Request {
    enum class Kind { Message, YesNo, Choice, Disconnected, BatteryReset } kind;
    std::string text;
    std::string caption;
    MessageIcon icon;
  };

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // The next scripted answer, or No when the script is exhausted.
  bool AskYesNo(std::string_view text, std::string_view caption) override;

  // The next scripted choice; OK on the first line when the script is exhausted.
  std::optional<std::size_t> ChooseFromList(std::string_view title,
                                            const std::vector<std::string>& lines) override;
  void ArmDisconnected() override;
  void ResetBatteryDisplay() override;

  void ScriptAnswer(bool yes) { answers_.push_back(yes); }
  void ScriptChoice(std::optional<std::size_t> line) { choices_.push_back(line); }
  // The lines offered by the last ChooseFromList.
  const std::vector<std::string>& lastChoiceLines() const { return lastChoiceLines_; }
  std::size_t CountOf(Request::Kind kind) const;
  const std::vector<Request>& requests() const { return requests_; }
  void Clear() { requests_.clear(); }

 private:
  std::vector<Request> requests_;
  std::deque<bool> answers_;
  std::deque<std::optional<std::size_t>> choices_;
  std::vector<std::string> lastChoiceLines_;
};

}  // namespace pilvo
