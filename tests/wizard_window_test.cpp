// The wizard's main window as a person meets it: it opens on the stored TAB file with its texts,
// Connect runs the model and the 100 ms timer fills the readings, the language menu relabels it.
#include <gtest/gtest.h>

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "data/settings.h"
#include "qt_test_support.h"
#include "sim_session_fixture.h"
#include "wizard/main_window_view.h"

namespace pilvo::wizard {
namespace {

// On either link.
class WizardWindowTest : public testing::SimSessionTest,
                         public ::testing::WithParamInterface<testing::Link> {};

QPushButton* Button(QWidget& window, const QString& name) {
  return dynamic_cast<QPushButton*>(pilvo::testing::ButtonNamed(window, name));
}

TEST_P(WizardWindowTest, OpensOnTheStoredFileConnectsAndRelabels) {
  const bool usb = GetParam() == testing::Link::Usb;
  wire_ = testing::Wire::InProcess;
  TabContents contents = testing::PlainDemoTab(usb ? "usb6_quaternion" : "serial6_dh_marks");
  contents.main.options.referenceMarks = false;
  Connect(contents, GetParam(), Program::Wizard);
  WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));

  MainWindowView window(*session_, context_.language());
  window.show();
  EXPECT_EQ(window.windowTitle(), "Pilvo3D Wizard");
  ASSERT_NE(window.action("Change"), nullptr);
  EXPECT_TRUE(window.action("Change")->isEnabled());
  EXPECT_FALSE(window.action("Probes management")->isEnabled());
  // A USB arm is detected, a serial one's port selected.
  EXPECT_NE(window.action(usb ? "Detect" : "Select"), nullptr);

  QPushButton* connect = Button(window, "Connect");
  ASSERT_NE(connect, nullptr);
  connect->click();  // the scripted operator confirms the rest position
  EXPECT_TRUE(window.timer().isActive());
  EXPECT_FALSE(connect->isEnabled());
  EXPECT_TRUE(window.action("Probes management")->isEnabled());
  QTest::qWait(250);
  const MainDisplay& shown = window.model().display();
  EXPECT_NE(shown.counts[0], " - - -");
  EXPECT_NE(shown.position[0], " - - -");
  // Only a USB board tells its serial number, voltages and temperatures.
  EXPECT_EQ(shown.serialNumber == " -", !usb);
  EXPECT_EQ(shown.temperatures[0] == " -", !usb);
  window.grab().save(usb ? QStringLiteral("wizard_main_window.png")
                         : QStringLiteral("wizard_main_window_serial.png"));

  Button(window, "Close")->click();
  EXPECT_FALSE(window.timer().isActive());
  window.action("Italiano")->trigger();
  EXPECT_NE(Button(window, "Connetti"), nullptr);
  EXPECT_EQ(GetSettingInt("Language", "Code", 0, Store(kProductStore)), 1u);
}

INSTANTIATE_TEST_SUITE_P(Links, WizardWindowTest,
                         ::testing::Values(testing::Link::Usb, testing::Link::Serial),
                         [](const auto& link) {
                           return link.param == testing::Link::Usb ? "Usb" : "Serial";
                         });

}  // namespace
}  // namespace pilvo::wizard
