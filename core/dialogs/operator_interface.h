// How the core asks the operator. The core never calls a toolkit: a windowed, a console and a
// scripted implementation answer the same requests.
#pragma once

#include <string>
#include <string_view>

namespace pilvo {

enum class MessageIcon { Error, Information, Question, Warning };

class OperatorInterface {
 public:
  virtual ~OperatorInterface() = default;

  // A modal message box with one OK button.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  // A confirmation with Yes and No, No being the default. True for Yes.
  virtual bool AskYesNo(std::string_view text, std::string_view caption) = 0;
};

}  // namespace pilvo
