// How the core asks the operator. The core never calls a toolkit: a windowed, a console and a
// scripted implementation answer the same requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/arm_record.h"

namespace pilvo {

class AlignmentProcedure;
class ResetProcedure;
class TemperatureChoice;

// The captions of the two programs' message boxes.
inline constexpr std::string_view kLibraryCaption = "Pilvo DLL";
inline constexpr std::string_view kWizardCaption = "PilvoWizard";

// None: a plain box without an icon.
enum class MessageIcon { Error, Information, Question, Warning, None };

// What the board said of its supply at the last reading.
struct SupplyReading {
  double reading = 0.0;  // 14-bit units of 5/256 V
  bool monitored = false;
  bool onBattery = false;
  int firmwareCode = 0;  // boards below 15 report no supply
};

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

  // The open-file dialog: an existing file chosen in `folder` (empty: the dialog's own choice)
  // with the file-type `filter` ("Tab Files (*.tab) | *.tab||"), or nothing on Cancel.
  virtual std::optional<std::filesystem::path> ChooseFileToOpen(
      std::string_view filter, std::string_view defaultExtension,
      const std::filesystem::path& folder) = 0;

  // The arm is initialised: the tray shows it connected, with `probeTooltip` as its tip.
  virtual void ArmConnected(std::string_view probeTooltip) = 0;

  // The arm link has closed: the tray shows "not connected" and the probes dialog goes.
  virtual void ArmDisconnected() = 0;

  // The battery display starts again from nothing.
  virtual void ResetBatteryDisplay() = 0;

  // The battery display after a reading of an arm with a battery; `record` holds the supply
  // thresholds and the battery capacity. Called on every such reading: keep it cheap.
  virtual void RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord& record) = 0;

  // The joint-limit warning: shown when a joint first leaves its range, updated at every
  // reading while one is outside (bit i of `outMask`: joint i; `angles` in radians, one per
  // joint), hidden when all are back.
  virtual void ShowLimitsWarning() = 0;
  virtual void UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) = 0;
  virtual void HideLimitsWarning() = 0;

  // The modal arm status dialogs: each runs its model, driving its 100 ms timer and forwarding
  // the operator's controls, and returns once the model has closed.
  virtual void RunResetDialog(ResetProcedure& procedure) = 0;
  virtual void RunTemperatureDialog(TemperatureChoice& choice) = 0;
  virtual void RunAlignmentDialog(AlignmentProcedure& procedure) = 0;

  // The default system sound: a reference mark procedure completed, a point taken.
  virtual void Beep() = 0;
};

}  // namespace pilvo
