// The operator without a display: messages go to standard error and every question takes its
// safe default, so that services without a person in front of them keep running.
#pragma once

#include <cstdint>
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
  // Nobody can pick a file: Cancel.
  std::optional<std::filesystem::path> ChooseFileToOpen(
      std::string_view filter, std::string_view defaultExtension,
      const std::filesystem::path& folder) override;
  void ArmConnected(std::string_view probeTooltip) override;
  void ArmDisconnected() override;
  void ResetBatteryDisplay() override {}
  void RefreshSupplyDisplay(const SupplyReading&, const ArmRecord&) override {}
  // The warning is one line each time the set of joints outside their range changes.
  void ShowLimitsWarning() override {}
  void UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) override;
  void HideLimitsWarning() override;

 private:
  std::ostream& out_;
  std::uint32_t reportedMask_ = 0;
};

}  // namespace pilvo
