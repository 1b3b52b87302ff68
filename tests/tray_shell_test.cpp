// The tray shell's model and its battery dialog: the icon and menu against the connection, the
// commands' refusals and their messages, the 2-second tick against the arm's reads in this
// process, and every branch of the battery update.
#include <gtest/gtest.h>

#include <clocale>

#include "comma_locale.h"
#include "dialogs/tray_shell.h"
#include "link/supply_state.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

using testing::Link;
using testing::PlainDemoTab;
using Kind = ScriptedOperator::Request::Kind;

// Thresholds 740, 768 and 800: the bar spans 739 to 801.
ArmRecord BatteryRecord() {
  ArmRecord record;
  record.batteryPresent = 1;
  record.supplyThresholdBytes = {228, 2, 0, 3, 32, 3};
  record.batteryCapacity = 480;
  return record;
}

TEST(BatteryDialogTest, OpensWithItsTextsAndResetsToDisconnected) {
  const Language english;
  BatteryDialog dialog(english);
  const BatteryDialogLabels& labels = dialog.labels();
  EXPECT_EQ(
      labels.title + "|" + labels.powerSupply + "|" + labels.battery + "|" + labels.audioAlarm,
      "Pilvo3D Battery|Power supply|Battery|Audio alarm");
  EXPECT_TRUE(dialog.audioAlarm());
  EXPECT_FALSE(dialog.visible());

  // The menu shows it; a second time only the check mark goes.
  dialog.ToggleFromMenu(BatteryRecord());
  EXPECT_EQ(std::pair(dialog.barMinimum(), dialog.barMaximum()), std::pair(739, 801));
  EXPECT_TRUE(dialog.visible() && dialog.shownFromMenu());
  dialog.ToggleFromMenu(BatteryRecord());
  EXPECT_TRUE(dialog.visible() && !dialog.shownFromMenu());

  dialog.Update({.reading = 760, .monitored = true, .onBattery = true, .firmwareCode = 15},
                BatteryRecord());
  dialog.Reset();
  EXPECT_EQ(dialog.voltage() + "|" + dialog.status(), " -|Arm disconnect");
  EXPECT_EQ(dialog.barPosition(), dialog.barMinimum()) << "0 lies below the range";
  EXPECT_TRUE(dialog.visible());

  dialog.ToggleFromMenu(BatteryRecord());
  dialog.Cancel();
  EXPECT_FALSE(dialog.visible() || dialog.shownFromMenu());
}

struct UpdateCase {
  const char* name;
  SupplyReading supply;
  bool fromMenu;
  bool alarm;
  bool visible;
  const char* voltage;  // null: not written
  int bar;
  bool beep;
};

TEST(BatteryDialogTest, UpdateShowsLowSupplyOrOnRequestAndRaisesTheAlarm) {
  const char* comma = testing::SetCommaLocale();
  const Language english;
  const ArmRecord record = BatteryRecord();
  const std::string external = "Battery not available.";
  const UpdateCase cases[] = {
      {"old firmware", {760, true, true, 14}, true, true, false, nullptr, 739, false},
      {"supply not monitored", {760, false, true, 15}, true, true, false, nullptr, 739, false},
      {"external power, open", {801, true, false, 15}, true, true, true, "15.64V", 739, false},
      {"external power, closed", {700, true, false, 15}, false, true, false, "13.67V", 739, false},
      {"low", {760, true, true, 15}, false, true, true, "14.84V", 760, true},
      {"low, alarm off", {760, true, true, 15}, false, false, true, "14.84V", 760, false},
      {"low, beyond the bar", {100, true, true, 15}, false, true, true, "1.95V", 739, true},
      {"charged", {790, true, true, 15}, false, true, false, nullptr, 739, false},
      {"charged, open", {790, true, true, 15}, true, true, true, "15.43V", 790, false},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.name);
    BatteryDialog dialog(english);
    dialog.SetAudioAlarm(c.alarm);
    if (c.fromMenu) dialog.ToggleFromMenu(record);
    dialog.Update(c.supply, record);
    EXPECT_EQ(dialog.visible(), c.visible);
    EXPECT_EQ(dialog.voltage(), c.voltage ? c.voltage : "");
    EXPECT_EQ(dialog.barPosition(), c.bar);
    if (c.voltage != nullptr) {
      EXPECT_EQ(dialog.status(),
                c.supply.onBattery ? SupplyStateText(c.supply.reading, record, english) : external);
    }
    EXPECT_EQ(dialog.TakePendingBeep(), c.beep);
    EXPECT_FALSE(dialog.TakePendingBeep()) << "one beep per update";
  }
  if (comma != nullptr) std::setlocale(LC_ALL, "C");
}

class TrayShellTest : public testing::SimSessionTest {
 protected:
  TrayShellTest() { wire_ = testing::Wire::InProcess; }
  void ConnectTray(TabContents contents = PlainDemoTab("usb6_quaternion")) {
    Connect(std::move(contents), Link::Usb);
    session_->board().SetFirmwareCode(15);
    tray_.Serve(*session_);
  }
  TrayShell tray_{context_.language()};
};

TEST_F(TrayShellTest, IconMenuAndCommandsFollowTheConnection) {
  EXPECT_FALSE(tray_.connected());
  EXPECT_EQ(tray_.tooltip(), "Pilvo3D not connected");
  EXPECT_FALSE(tray_.ProbesManagement(ui_)) << "a disabled command, double click or not";
  EXPECT_FALSE(tray_.menu().probesManagementEnabled);
  tray_.Battery(ui_);
  EXPECT_EQ(ui_.CountOf(Kind::Message), 1u) << "no session yet: no battery";

  ConnectTray();
  ui_.Clear();
  tray_.ShowConnected("Pilvo3D M123\nprobe 2");
  EXPECT_EQ(tray_.tooltip(), "Pilvo3D M123\nprobe 2");
  EXPECT_TRUE(tray_.menu().probesManagementEnabled);
  EXPECT_TRUE(tray_.ProbesManagement(ui_));
  tray_.Battery(ui_);
  EXPECT_TRUE(tray_.menu().batteryChecked && tray_.battery().visible());
  EXPECT_TRUE(ui_.requests().empty());

  // Refused commands explain themselves and change nothing: no probe in the table, no battery,
  // a firmware without supply reports.
  state().tab.main.probeCount = 0;
  EXPECT_FALSE(tray_.ProbesManagement(ui_));
  state().working.batteryPresent = 0;
  tray_.Battery(ui_);
  state().working.batteryPresent = 1;
  session_->board().SetFirmwareCode(14);
  tray_.Battery(ui_);
  EXPECT_TRUE(tray_.menu().batteryChecked);
  std::string refusals;
  for (const auto& refusal : ui_.requests()) {
    refusals += refusal.text + "|" + refusal.caption + "|";
    EXPECT_EQ(refusal.icon, MessageIcon::Error);
  }
  EXPECT_EQ(refusals,
            "Probe management not available|Pilvo DLL|Battery not available.|Pilvo DLL|"
            "Battery not available.|Pilvo DLL|");

  tray_.ShowDisconnected();
  EXPECT_EQ(tray_.tooltip(), "Pilvo3D not connected");
  EXPECT_FALSE(tray_.menu().probesManagementEnabled);
}

TEST_F(TrayShellTest, TickSaysDisconnectedWithoutAFreshReadAndBeepsOncePerLowUpdate) {
  ConnectTray();
  arm_->SetSupply({.reading = 760, .monitored = true, .onBattery = true});
  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  tray_.battery().Update(ui_.supplyDisplay().last, state().working);
  EXPECT_TRUE(tray_.Tick()) << "low supply with the alarm on";
  EXPECT_EQ(tray_.battery().voltage(), "14.84V") << "a fresh read keeps the display";
  EXPECT_FALSE(tray_.Tick()) << "one beep per low update";
  EXPECT_EQ(tray_.battery().status(), "Arm disconnect") << "no read since the last tick";

  ASSERT_EQ(session_->LeggeQuota(pose_, status_), 0);
  tray_.battery().SetAudioAlarm(false);
  tray_.battery().Update(ui_.supplyDisplay().last, state().working);
  EXPECT_FALSE(tray_.Tick());
  EXPECT_EQ(tray_.battery().voltage(), "14.84V");
}

}  // namespace
}  // namespace pilvo
