// The tray driven as the desktop would, in English and in Italian: a double click and the menu's
// actions reach the model or refuse, the menu and the battery window show its texts and check
// marks, the about box opens modally, and a close request on the hidden frame only hides it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "dialogs/scripted_operator.h"
#include "qt_test_support.h"
#include "scoped_config_dir.h"
#include "session/arm_session.h"
#include "ui/battery_window.h"
#include "ui/qt_prompts.h"
#include "ui/tray_icon.h"

namespace pilvo {
namespace {

using Kind = ScriptedOperator::Request::Kind;
using testing::ExpectNamedAsShown;

QString LabelNamed(QWidget& window, const QString& name) {
  for (auto* label : window.findChildren<QLabel*>()) {
    if (label->accessibleName() == name) return label->text();
  }
  return "(none)";
}

class TrayIconTest : public ::testing::Test, public testing::InLanguage {};

TEST_P(TrayIconTest, DoubleClickMenuAndWindowsReachTheModel) {
  testing::ScopedConfigDir config("ui_tray_config");
  config.context().language().Select(GetParam());
  ScriptedOperator ui;
  ArmSession session(config.context(), ui.ports());
  session.state().tab.main.probeCount = 1;
  session.state().working.batteryPresent = 1;
  session.state().working.supplyThresholdBytes = {228, 2, 0, 3, 32, 3};
  session.board().SetFirmwareCode(15);

  TrayIcon tray(ui, config.context().language());
  tray.Serve(session);
  int probesOpened = 0;
  tray.onProbesManagement = [&] { ++probesOpened; };
  QMenu& menu = tray.menu();
  QAction* probes = menu.actions().at(0);
  QAction* battery = menu.actions().at(1);
  QAction* about = menu.actions().at(3);

  EXPECT_EQ(tray.icon().toolTip(), In("Pilvo3D not connected", "Pilvo3D non connesso"));
  EXPECT_EQ(tray.icon().isVisible(), QSystemTrayIcon::isSystemTrayAvailable());
  emit tray.icon().activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(probesOpened, 0) << "disabled while not connected";
  EXPECT_FALSE(probes->isEnabled());

  tray.ShowConnected("Pilvo3D M123\nprobe 1");
  EXPECT_EQ(tray.icon().toolTip(), "Pilvo3D M123\nprobe 1");
  EXPECT_TRUE(probes->isEnabled());
  emit tray.icon().activated(QSystemTrayIcon::Trigger);
  emit tray.icon().activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(probesOpened, 1);
  probes->trigger();
  EXPECT_EQ(probesOpened, 2);

  config.context().language().Select(kGerman);
  emit menu.aboutToShow();
  EXPECT_EQ(probes->text() + "|" + battery->text() + "|" + about->text(),
            "Pilvo3D: Tasterverwaltung|Akku|About");
  config.context().language().Select(GetParam());

  // Battery: the window opens with the check mark; its Cancel takes both away.
  battery->trigger();
  BatteryWindow& window = tray.batteryWindow();
  EXPECT_TRUE(battery->isChecked());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.windowTitle(), In("Pilvo3D Battery", "Pilvo3D Batteria"));
  ExpectNamedAsShown(window);
  tray.UpdateBattery({.reading = 760, .monitored = true, .onBattery = true, .firmwareCode = 15},
                     session.state().working);
  EXPECT_EQ(LabelNamed(window, "Voltage"), "14.84V");
  EXPECT_EQ(window.findChild<QProgressBar*>()->value(), 760);
  tray.Tick();
  EXPECT_EQ(ui.CountOf(Kind::Beep), 1u);
  EXPECT_EQ(LabelNamed(window, "Status"), In("Arm disconnect", "Braccio disconnesso"))
      << "no read since the last tick";
  testing::ButtonNamed(window, In("Audio alarm", "Allarme acustico"))->click();
  EXPECT_FALSE(tray.model().battery().audioAlarm());
  window.reject();
  EXPECT_FALSE(window.isVisible());
  emit menu.aboutToShow();
  EXPECT_FALSE(battery->isChecked());

  QString aboutSeen;
  testing::WithNextModal([&](QWidget& box) {
    ExpectNamedAsShown(box);
    aboutSeen = box.windowTitle() + "|" + LabelNamed(box, "Library") + "|" +
                LabelNamed(box, "File version") + "|" +
                box.findChild<QLineEdit*>()->text().left(10);
    testing::ButtonNamed(box, "OK")->click();
  });
  about->trigger();
  EXPECT_EQ(aboutSeen, In("About Pilvo.dll", "Informazioni su Pilvo.dll") +
                           "|Pilvo.dll|4, 4, 0, 3|pilvo.dll\\");

  tray.frame().show();
  EXPECT_FALSE(tray.frame().close());
  EXPECT_FALSE(tray.frame().isVisible());
  EXPECT_EQ(ui.requests().size(), ui.CountOf(Kind::Beep)) << "no command was refused";

  // Refused (their messages are the model's): no probe in the table; a firmware that does not
  // report the supply.
  session.state().tab.main.probeCount = 0;
  probes->trigger();
  session.board().SetFirmwareCode(14);
  battery->trigger();
  EXPECT_EQ(probesOpened, 2);
  EXPECT_FALSE(battery->isChecked());
  EXPECT_EQ(ui.CountOf(Kind::Message), 2u);
  EXPECT_EQ(ToQString(ui.requests().back().text),
            In("Battery not available.", "Batteria non disponibile."));
}

INSTANTIATE_TEST_SUITE_P(Languages, TrayIconTest, testing::kLanguages, testing::LanguageName);

}  // namespace
}  // namespace pilvo
