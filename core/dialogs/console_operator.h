// The operator without a display: messages go to standard error and every question takes its
// safe default, so that services without a person in front of them keep running. The reset and
// alignment dialogs run on a real 100 ms timer, driven by the arm's own marks and buttons, and
// are cancelled when they have not closed within the time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>

#include "dialogs/operator.h"

namespace pilvo {

inline constexpr std::chrono::milliseconds kConsoleDialogTimeout{120000};

class ConsoleOperator : public Operator {
 public:
  // `bell`: beeps are BEL characters on `out` (for a person at a terminal), else silent.
  explicit ConsoleOperator(std::ostream& out,
                           std::chrono::milliseconds dialogTimeout = kConsoleDialogTimeout,
                           bool bell = false);

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
  // A line when the dialog opens, one whenever the set of marks found changes, one at the end.
  void RunResetDialog(ResetProcedure& procedure) override;
  // Nobody can type a temperature: the one the dialog opened with (the stored one) is kept.
  void RunTemperatureDialog(TemperatureChoice& choice) override;
  // A line when the dialog opens and one for each point to measure. On the time-out the dialog
  // is cancelled, even when it offers its reuse button.
  void RunAlignmentDialog(AlignmentProcedure& procedure) override;
  void Beep() override;

 private:
  // Ticks `procedure` every 100 ms until it closes, `report` after each tick; cancels it at the
  // time-out.
  template <class Procedure, class Report>
  void RunTimed(Procedure& procedure, Report report);

  std::ostream& out_;
  std::chrono::milliseconds dialogTimeout_;
  bool bell_;
  std::uint32_t reportedMask_ = 0;
};

}  // namespace pilvo
