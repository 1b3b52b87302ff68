// The operator of the tests: records every request and answers from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "dialogs/operator_interface.h"

namespace pilvo {

class ScriptedOperator : public OperatorInterface {
 public:
  struct Request {
    enum class Kind { Message, YesNo } kind;
    std::string text;
    std::string caption;
    MessageIcon icon;
  };

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // The next scripted answer, or No when the script is exhausted.
  bool AskYesNo(std::string_view text, std::string_view caption) override;

  void ScriptAnswer(bool yes) { answers_.push_back(yes); }
  const std::vector<Request>& requests() const { return requests_; }
  void Clear() { requests_.clear(); }

 private:
  std::vector<Request> requests_;
  std::deque<bool> answers_;
};

}  // namespace pilvo
