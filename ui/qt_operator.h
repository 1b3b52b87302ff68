// The operator with windows: Qt prompts, the tray and the modeless arm windows, and the modal
// arm status dialogs. Used by the library's windows module and by the wizard.
#pragma once

#include <memory>
#include <string>

#include "dialogs/operator.h"
#include "session/arm_session.h"
#include "ui/application_start.h"
#include "ui/limits_window.h"
#include "ui/probes_window.h"
#include "ui/qt_prompts.h"
#include "ui/tray_icon.h"

namespace pilvo {

class QtOperator final : public Operator {
 public:
  // The library's operator has the tray, its texts in `language`; the wizard's has none.
  explicit QtOperator(WindowsApplication application, Program program = Program::Wizard,
                      Language language = Language());
  ~QtOperator() override;

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  std::optional<std::size_t> ChooseFromList(std::string_view title,
                                            const std::vector<std::string>& lines) override;
  std::optional<std::filesystem::path> ChooseFileToOpen(
      std::string_view filter, std::string_view defaultExtension,
      const std::filesystem::path& folder) override;
  void Beep() override;

  void ArmConnected(std::string_view probeTooltip) override;
  void ArmDisconnected() override;
  void ResetBatteryDisplay() override;
  void RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord& record) override;
  void ShowLimitsWarning() override;
  void UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) override;
  void HideLimitsWarning() override;

  void RunResetDialog(ResetProcedure& procedure) override;
  void RunTemperatureDialog(TemperatureChoice& choice) override;
  void RunAlignmentDialog(AlignmentProcedure& procedure) override;

  void ServeSession(ArmSession& session) override;
  void ProcessPendingEvents() override;

  // The tray's "Probes management": the probes window on the session served.
  void OpenProbesWindow();

 private:
  WindowsApplication application_;
  Language language_;
  QtPrompts prompts_;
  ArmSession* session_ = nullptr;
  std::unique_ptr<LimitsWindow> limits_;  // made at its first showing
  std::unique_ptr<TrayIcon> tray_;
  // Last, so that its window goes before the application.
  ProbesWindowOwner probes_;
};

// The operator of the library's windows module, in the library's `language`: null, with the
// reason in `why`, when Qt cannot start.
std::unique_ptr<QtOperator> StartQtOperator(Language language, std::string& why);

}  // namespace pilvo
