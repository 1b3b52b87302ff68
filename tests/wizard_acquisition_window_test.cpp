// The points acquisition dialog as a person meets it: it opens with its texts, its 100 ms timer
// reads the arm, and a press of arm button 1 puts a point in the list and on the plots.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "qt_test_support.h"
#include "session/arm_initialisation.h"
#include "sim_session_fixture.h"
#include "wizard/points_acquisition_dialog.h"

namespace pilvo::wizard {
namespace {

class AcquisitionWindowTest : public testing::SimSessionTest {};

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
  QLabel* instruction = nullptr;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->accessibleName() == "Instruction") instruction = label;
  }
  ASSERT_NE(instruction, nullptr);
  EXPECT_EQ(instruction->text(), "Acquire zone 1/1 (POINT type)");
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
