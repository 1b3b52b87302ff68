// How the session asks the operator, split by who answers: the prompts, the arm status display
// and the modal arm status dialogs. The core never calls a toolkit; windowed, console and
// scripted operators fill these ports, and a window may fill just one of them.
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
#include "data/product_context.h"
#include "measure/alignment_acquisition.h"

namespace pilvo {

class ArmSession;

// None: a plain box without an icon.
enum class MessageIcon { Error, Information, Question, Warning, None };

class Prompts {
 public:
  virtual ~Prompts() = default;

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

  // The default system sound: a reference mark procedure completed, a point taken.
  virtual void Beep() = 0;
};

// What the board said of its supply at the last reading.
struct SupplyReading {
  double reading = 0.0;  // 14-bit units of 5/256 V
  bool monitored = false;
  bool onBattery = false;
  int firmwareCode = 0;  // boards below 15 report no supply
  bool operator==(const SupplyReading&) const = default;
};

// The tray and the modeless arm windows of the library. Called from the reading path: keep
// every call cheap and free of allocations.
class ArmStatusDisplay {
 public:
  virtual ~ArmStatusDisplay() = default;

  // The arm is initialised: the tray shows it connected, with `probeTooltip` as its tip.
  virtual void ArmConnected(std::string_view probeTooltip) = 0;

  // The arm link has closed: the tray shows "not connected" and the probes dialog goes.
  virtual void ArmDisconnected() = 0;

  // The battery display starts again from nothing.
  virtual void ResetBatteryDisplay() = 0;

  // The battery display after a reading of an arm with a battery; `record` holds the supply
  // thresholds and the battery capacity.
  virtual void RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord& record) = 0;

  // The joint-limit warning: shown when a joint first leaves its range, updated at every
  // reading while one is outside (bit i of `outMask`: joint i; `angles` in radians, one per
  // joint), hidden when all are back.
  virtual void ShowLimitsWarning() = 0;
  virtual void UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) = 0;
  virtual void HideLimitsWarning() = 0;
};

// What the initialisation tells the reset dialog.
struct ResetDialogSetup {
  std::string tabPath;
  bool temperatureCompensation = false;
  std::int32_t temperatureSensors = 0;   // 0: the ambient temperature is typed in the dialog
  std::int32_t ambientTemperature = 21;  // degrees C
  bool probeManagement = false;          // the probe choice is offered
  std::int32_t toolInUse = 0;
};

struct ResetDialogOutcome {
  bool ok = false;
  std::int32_t cancelCode = 0;           // after Cancel: 0 for the button, else the negative
                                         // status of the reference-mark query that ended it
  std::int32_t ambientTemperature = 21;  // after OK
  std::int32_t toolInUse = 0;            // after OK: the probe chosen
};

// The modal arm status dialogs that a call opens: each runs until the operator (or the arm)
// closes it and returns what it ended with.
class ArmDialogs {
 public:
  virtual ~ArmDialogs() = default;

  // The reset dialog: the marks and counts polled every 100 ms until every required mark is
  // found (OK) or the operator or a failed mark query cancels it.
  virtual ResetDialogOutcome RunResetDialog(ArmSession& session, const ResetDialogSetup& setup) = 0;

  // The temperature dialog: the ambient temperature in degrees C (0 … 40) the operator
  // confirms, starting from `current`.
  virtual std::int32_t RunTemperatureDialog(const ArmSession& session, std::int32_t current) = 0;

  // The alignment dialog of the user frame and the rotating table, reading `session`.
  virtual AlignmentDialog MakeAlignmentDialog(ArmSession& session) = 0;
};

// The three ports a session asks through; they outlive it.
struct OperatorPorts {
  Prompts& prompts;
  ArmStatusDisplay& display;
  ArmDialogs& dialogs;
};

}  // namespace pilvo
