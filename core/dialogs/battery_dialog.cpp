#include "dialogs/battery_dialog.h"

#include <algorithm>
#include <array>
#include <utility>

#include "data/local_text.h"
#include "data/number_text.h"
#include "link/supply_state.h"

namespace pilvo {
namespace {

constexpr int kFirstSupplyFirmware = 15;  // older boards report no supply
constexpr int kTextArmDisconnect = 2310;
constexpr int kTextNotAvailable = 2313;
constexpr int kTextPowerSupply = 2349;
constexpr int kTextBattery = 2352;
constexpr int kTextAudioAlarm = 2355;

}  // namespace

BatteryDialogLabels MakeBatteryDialogLabels(const Language& language) {
  const std::string battery = LocalText(kTextBattery, language);
  return {.title = "Pilvo3D " + battery,
          .powerSupply = LocalText(kTextPowerSupply, language),
          .battery = battery,
          .audioAlarm = LocalText(kTextAudioAlarm, language),
          .minimum = "Min",
          .maximum = "Max"};
}

BatteryDialog::BatteryDialog(const Language& language)
    : language_(language), labels_(MakeBatteryDialogLabels(language)) {}

int BatteryDialog::barPosition() const {
  // A bar clamps what lies outside its range.
  return std::clamp(barValue_, barMinimum_, barMaximum_);
}

void BatteryDialog::SetRange(const ArmRecord& record) {
  const std::array<double, 3> thresholds = SupplyThresholds(record);
  barMinimum_ = static_cast<int>(thresholds[0]) - 1;
  // Thresholds that do not rise leave an empty range rather than an inverted one.
  barMaximum_ = std::max(barMinimum_, static_cast<int>(thresholds[2]) + 1);
}

void BatteryDialog::SetVoltage(double reading) {
  voltage_ = FixedText(reading * kSupplyVoltsPerUnit, 2) + "V";
}

void BatteryDialog::ToggleFromMenu(const ArmRecord& record) {
  Forget();
  SetRange(record);
  visible_ = true;
  shownFromMenu_ = !shownFromMenu_;
}

void BatteryDialog::Cancel() {
  Forget();
  shownFromMenu_ = false;
  visible_ = false;
}

void BatteryDialog::Hide() {
  Forget();
  visible_ = false;
}

void BatteryDialog::Reset() {
  Forget();
  voltage_ = " -";
  barValue_ = 0;
  status_ = LocalText(kTextArmDisconnect, language_);
}

bool BatteryDialog::Update(const SupplyReading& supply, const ArmRecord& record) {
  const Shown reading{supply, SupplyThresholds(record)};
  const bool low = supply.reading < reading.thresholds[1];
  if (shownFor_ == reading) {
    if (visible_ && supply.onBattery && low && audioAlarm_) beepPending_ = true;
    return false;
  }
  SetRange(record);
  if (supply.firmwareCode < kFirstSupplyFirmware || !supply.monitored) {
    Hide();
  } else if (!supply.onBattery) {
    Reset();
    SetVoltage(supply.reading);
    status_ = LocalText(kTextBattery, language_) + " " + LocalText(kTextNotAvailable, language_);
  } else if (!low && !shownFromMenu_) {
    Hide();
  } else {
    visible_ = true;
    SetVoltage(supply.reading);
    barValue_ = static_cast<int>(supply.reading);
    status_ = SupplyStateText(supply.reading, record, language_);
    if (low && audioAlarm_) beepPending_ = true;
  }
  shownFor_ = reading;
  return true;
}

bool BatteryDialog::TakePendingBeep() {
  return std::exchange(beepPending_, false);
}

}  // namespace pilvo
