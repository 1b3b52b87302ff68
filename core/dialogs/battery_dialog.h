// The battery dialog's model: the supply voltage, a charge bar between the supply thresholds,
// the supply state line and the audio alarm. It is created with the tray and shown and hidden
// from then on: by the readings of an arm with a battery, by the tray's Battery command and by
// its own Cancel. The alarm it raises is played by the tray at its next 2-second tick.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "data/arm_record.h"
#include "data/local_text.h"
#include "session/operator_ports.h"

namespace pilvo {

// Volts of one unit of the supply reading.
inline constexpr double kSupplyVoltsPerUnit = 0.01953125;

// The texts of the dialog's controls in `language`.
struct BatteryDialogLabels {
  std::string title, powerSupply, battery, audioAlarm, minimum, maximum;
};
BatteryDialogLabels MakeBatteryDialogLabels(const Language& language);

class BatteryDialog {
 public:
  // Its texts are in `language`, which must outlive it.
  explicit BatteryDialog(const Language& language);

  const BatteryDialogLabels& labels() const { return labels_; }
  bool visible() const { return visible_; }
  const std::string& voltage() const { return voltage_; }
  const std::string& status() const { return status_; }
  int barMinimum() const { return barMinimum_; }
  int barMaximum() const { return barMaximum_; }
  // Within the range, as the bar shows it.
  int barPosition() const;
  bool audioAlarm() const { return audioAlarm_; }
  // The operator keeps the dialog open from the tray menu: the Battery command's check mark.
  bool shownFromMenu() const { return shownFromMenu_; }

  void SetAudioAlarm(bool on) { audioAlarm_ = on; }
  // The tray's Battery command, once it may serve: shows the dialog and toggles the check mark.
  void ToggleFromMenu(const ArmRecord& record);
  void Cancel();
  // The arm is gone, or no encoder read succeeded for a tick of the tray: the texts start again
  // from nothing; the visibility is kept.
  void Reset();
  void Hide();
  // After a reading of an arm with a battery: shown while the supply is low (below threshold 2)
  // or the operator keeps it open; a low supply with the alarm on leaves a beep pending. True
  // when what the dialog shows may have changed: a reading like the last one, with nothing else
  // changed since, only renews the alarm, without a text being made again.
  bool Update(const SupplyReading& supply, const ArmRecord& record);
  // True once for every update that left the beep pending.
  bool TakePendingBeep();

 private:
  // The bar spans the thresholds 1 to 3 with a unit to spare on either side.
  void SetRange(const ArmRecord& record);
  void SetVoltage(double reading);
  // The dialog's texts no longer follow the last reading.
  void Forget() { shownFor_.reset(); }

  const Language& language_;
  BatteryDialogLabels labels_;
  bool visible_ = false;
  std::string voltage_;
  std::string status_;
  int barMinimum_ = 0;
  int barMaximum_ = 0;
  int barValue_ = 0;
  bool audioAlarm_ = true;
  bool shownFromMenu_ = false;
  bool beepPending_ = false;
  struct Shown {
    SupplyReading supply;
    std::array<double, 3> thresholds;
    bool operator==(const Shown&) const = default;
  };
  std::optional<Shown> shownFor_;  // what the texts were last made for
};

}  // namespace pilvo
