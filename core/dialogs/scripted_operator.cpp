#include "dialogs/scripted_operator.h"

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

}  // namespace pilvo
