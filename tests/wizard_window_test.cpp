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

class WizardWindowTest : public testing::SimSessionTest {};

QPushButton* Button(QWidget& window, const QString& name) {
  return dynamic_cast<QPushButton*>(pilvo::testing::ButtonNamed(window, name));
}

TEST_F(WizardWindowTest, OpensOnTheStoredFileConnectsAndRelabels) {
  wire_ = testing::Wire::InProcess;
  TabContents contents = testing::PlainDemoTab("usb6_quaternion");
  contents.main.options.referenceMarks = false;
  Connect(contents, testing::Link::Usb, Program::Wizard);
  WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));

  MainWindowView window(*session_, context_.language());
  window.show();
  EXPECT_EQ(window.windowTitle(), "Pilvo3D Wizard");
  ASSERT_NE(window.action("Change"), nullptr);
  EXPECT_TRUE(window.action("Change")->isEnabled());
  EXPECT_FALSE(window.action("Probes management")->isEnabled());
  EXPECT_EQ(window.action("Detect")->text(), "Detect");  // a USB arm is detected, not selected

  QPushButton* connect = Button(window, "Connect");
  ASSERT_NE(connect, nullptr);
  connect->click();  // the scripted operator confirms the rest position
  EXPECT_TRUE(window.timer().isActive());
  EXPECT_FALSE(connect->isEnabled());
  EXPECT_TRUE(window.action("Probes management")->isEnabled());
  QTest::qWait(250);
  EXPECT_NE(window.model().display().counts[0], " - - -");
  window.grab().save(QStringLiteral("wizard_main_window.png"));

  Button(window, "Close")->click();
  EXPECT_FALSE(window.timer().isActive());
  window.action("Italiano")->trigger();
  EXPECT_NE(Button(window, "Connetti"), nullptr);
  EXPECT_EQ(GetSettingInt("Language", "Code", 0, Store(kProductStore)), 1u);
}

}  // namespace
}  // namespace pilvo::wizard
