// How the core asks the operator. The core never calls a toolkit: a windowed, a console and a
// scripted implementation answer the same requests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pilvo {

enum class MessageIcon { Error, Information, Question, Warning };

class OperatorInterface {
 public:
  virtual ~OperatorInterface() = default;

  // A modal message box with one OK button.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  // A confirmation with Yes and No, No being the default. True for Yes.
  virtual bool AskYesNo(std::string_view text, std::string_view caption) = 0;

  // A modal list with OK and Cancel, its first line selected: the line chosen, or nothing on
  // Cancel.
  virtual std::optional<std::size_t> ChooseFromList(std::string_view title,
                                                    const std::vector<std::string>& lines) = 0;

  // The arm link has closed: the tray shows "not connected" and the probes dialog goes.
  virtual void ArmDisconnected() = 0;

  // The battery display starts again from nothing.
  virtual void ResetBatteryDisplay() = 0;
};

}  // namespace pilvo
