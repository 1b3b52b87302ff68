// The operator without a display: messages go to standard error and every question takes its
// safe default, so that services without a person in front of them keep running.
#pragma once

#include <ostream>

#include "dialogs/operator_interface.h"

namespace pilvo {

class ConsoleOperator : public OperatorInterface {
 public:
  explicit ConsoleOperator(std::ostream& out);

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  // Without a person to choose, the first line is taken, as OK on the preselected line would.
  std::optional<std::size_t> ChooseFromList(std::string_view title,
                                            const std::vector<std::string>& lines) override;
  void ArmDisconnected() override;
  void ResetBatteryDisplay() override {}

 private:
  std::ostream& out_;
};

}  // namespace pilvo
