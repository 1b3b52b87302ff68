// The wizard's windows as a person meets them: the main window opens on the stored TAB file with
// its texts, Connect runs the model and the 100 ms timer fills the readings, the language menu
// relabels it; the stylus procedures from its Tools menu; the points acquisition dialog, whose
// timer puts a point in its list at a press of arm button 1.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWizard>

#include "data/settings.h"
#include "qt_test_support.h"
#include "session/arm_initialisation.h"
#include "sim_session_fixture.h"
#include "wizard/main_window_view.h"
#include "wizard/points_acquisition_dialog.h"

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
  EXPECT_TRUE(window.timer().isActive() && !connect->isEnabled());
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

// The stylus procedures from the Tools menu of a window on an arm reset at rest.
class StylusWindowTest : public testing::SimSessionTest {
 protected:
  void SetUp() override {
    SimSessionTest::SetUp();
    wire_ = testing::Wire::InProcess;
    TabContents contents = testing::PlainDemoTab("serial6_dh_marks");
    contents.main.options.referenceMarks = false;
    Connect(contents, testing::Link::Serial, Program::Wizard);
    WriteSettingString("TAB", "Nome", state().tabPath, Store(kProductStore));
    window_ = std::make_unique<MainWindowView>(*session_, context_.language());
  }
  void TearDown() override {
    window_.reset();
    SimSessionTest::TearDown();
  }
  std::unique_ptr<MainWindowView> window_;
};

TEST_F(StylusWindowTest, ManualLengthNeedsOnlyTheTabFileAndWritesTheNewOne) {
  EXPECT_TRUE(window_->action("Manual stylus length")->isEnabled() &&
              !window_->action("Stylus calibration procedure")->isEnabled());
  const std::filesystem::path written = folder_ / "new.tab";
  testing::WithNextModal([&](QWidget& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Manual stylus length");
    testing::ExpectNamedAsShown(dialog);
    ASSERT_NE(testing::ButtonNamed(dialog, "M8 stylus"), nullptr);
    testing::ButtonNamed(dialog, "M8 stylus")->click();
    dialog.grab().save(QStringLiteral("wizard_stylus_length.png"));
    dialog.findChild<QLineEdit*>()->setText(QStringLiteral("45"));
    testing::WithNextModal([&](QWidget& save) {
      auto& files = dynamic_cast<QFileDialog&>(save);
      files.selectFile(QString::fromStdString(written.string()));
      static_cast<QDialog&>(files).accept();
    });
    testing::ButtonNamed(dialog, "New TAB")->click();
  });
  window_->action("Manual stylus length")->trigger();
  ASSERT_TRUE(std::filesystem::exists(written));
  EXPECT_EQ(ui_.requests().back().text,
            "Writen newTAB file. \n Use TAB->Change menu to load it.:\n\n " + written.string());
  EXPECT_EQ(window_->model().display().status, "Waiting...");
}

TEST_F(StylusWindowTest, ProcedureStopsTheWindowTimerAndNextReachesTheModel) {
  testing::ButtonNamed(*window_, "Connect")->click();
  ASSERT_TRUE(window_->timer().isActive());
  QAction* procedure = window_->action("Stylus calibration procedure");
  ASSERT_TRUE(procedure->isEnabled());
  bool shown = false;
  testing::WithNextModal([&](QWidget& dialog) {
    shown = true;
    auto& wizard = dynamic_cast<QWizard&>(dialog);
    EXPECT_FALSE(window_->timer().isActive());
    EXPECT_EQ(wizard.windowTitle(), "Stylus calibration procedure");
    EXPECT_EQ(wizard.pageIds().size(), 4);
    EXPECT_EQ(wizard.currentPage()->title(), "Reference plane");
    testing::ExpectNamedAsShown(wizard);
    QAbstractButton* next = wizard.button(QWizard::NextButton);
    EXPECT_FALSE(next->isEnabled());
    Hold({1});
    EXPECT_TRUE(QTest::qWaitFor([next] { return next->isEnabled(); }, 2000));
    Hold({});
    wizard.grab().save(QStringLiteral("wizard_stylus_calibration.png"));
    next->click();
    EXPECT_EQ(wizard.currentPage()->title(), "Rest position re-calibration");
    wizard.grab().save(QStringLiteral("wizard_stylus_rest_position.png"));
    wizard.reject();
  });
  procedure->trigger();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(window_->timer().isActive());
  EXPECT_EQ(window_->model().display().status, "Waiting...");
}

using AcquisitionWindowTest = testing::SimSessionTest;

TEST_F(AcquisitionWindowTest, OpensWithItsTextsAndListsThePointsTaken) {
  wire_ = testing::Wire::InProcess;
  Connect(testing::PlainDemoTab("usb6_quaternion"), testing::Link::Usb, Program::Wizard);
  ASSERT_GE(InitialiseArm(*session_, InitialiseMode::Connect), 0);
  int readingsShown = 0;
  PointsAcquisitionDialog dialog(
      *session_, AcquisitionKind::Point,
      [&readingsShown](const Pose&, std::int32_t) { ++readingsShown; },
      [](const std::filesystem::path&, const ReportFile&) { return ReportError::None; }, {},
      nullptr);
  dialog.resize(820, 560);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Arm point calibration");
  QString instruction;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->accessibleName() == "Instruction") instruction = label->text();
  }
  EXPECT_EQ(instruction, "Acquire zone 1/1 (POINT type)");
  EXPECT_NE(testing::ButtonNamed(dialog, "Next"), nullptr);
  EXPECT_FALSE(testing::ButtonNamed(dialog, "Report Preview")->isVisible());
  testing::ExpectNamedAsShown(dialog);
  EXPECT_TRUE(dialog.timer().isActive());

  auto* list = dialog.findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  const std::vector<double> angles{0.0, 0.05, -0.03, 0.02, 0.04};
  for (std::size_t point = 0; point < angles.size(); ++point) {
    ASSERT_TRUE(arm_->SetJointAngle(0, angles[point]));
    Hold({1});
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == static_cast<int>(point) + 1; }));
    Hold({});
    const int readings = readingsShown;  // the next one sees the button released
    ASSERT_TRUE(QTest::qWaitFor([&] { return readingsShown > readings; }));
  }
  EXPECT_EQ(list->item(0)->text().toStdString(), dialog.model().display().pointLines[0]);
  EXPECT_EQ(list->currentRow(), 4);
  EXPECT_GT(readingsShown, 0);
  dialog.grab().save(QStringLiteral("wizard_points_acquisition.png"));

  ui_.ScriptAnswer(true);  // the points are dropped
  testing::ButtonNamed(dialog, "Cancel")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace pilvo::wizard
