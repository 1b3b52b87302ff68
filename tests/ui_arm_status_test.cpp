// The arm status windows over their models, on the offscreen platform (the 3-D view stays
// black there and the windows work without it): each opens with its texts in English and in
// Italian, its controls named as shown, and its controls and timer reach the model.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "data/settings.h"
#include "dialogs/alignment_procedure.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/temperature_choice.h"
#include "qt_test_support.h"
#include "sim_session_fixture.h"
#include "ui/qt_operator.h"

namespace pilvo {
namespace {

using testing::ButtonNamed;
using testing::ExpectNamedAsShown;
using testing::Link;
using testing::PlainDemoTab;
using testing::WithNextModal;
using Kind = ScriptedOperator::Request::Kind;

template <class Widget = QWidget>
Widget* Named(QWidget& window, const QString& name) {
  for (auto* widget : window.findChildren<Widget*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  ADD_FAILURE() << "no control named " << name.toStdString();
  return nullptr;
}

QString TextOf(QWidget& window, const QString& name) {
  return Named<QLabel>(window, name)->text();
}

class ArmStatusWindowsTest : public testing::SimSessionTest, public testing::InLanguage {
 protected:
  ArmStatusWindowsTest() : operator_({.application = qApp, .owned = nullptr}) {
    wire_ = testing::Wire::InProcess;
  }
  void SetUp() override {
    SimSessionTest::SetUp();
    SelectLanguage();
  }
  // A session starts in a fresh context.
  void SelectLanguage() { context_.language().Select(GetParam()); }
  void ConnectArm() {
    armOptions_.referenced = false;
    Connect(PlainDemoTab("serial6_dh_marks"), Link::Serial);
    SelectLanguage();
    ASSERT_EQ(session_->ReadArmCounts(), 0);
    operator_.ServeSession(*session_);
  }
  QtOperator operator_;
};

TEST_P(ArmStatusWindowsTest, ResetDialogEnlargesAndClosesWithOkOnTheLastMark) {
  ConnectArm();
  ResetProcedure reset(*session_, {.tabPath = "/data/arm.tab"});
  WithNextModal([this](QWidget& window) {
    EXPECT_EQ(window.windowTitle(),
              In("Pilvo DLL: Reference mark dialog", "Pilvo DLL: Tacche di riferimento"));
    ExpectNamedAsShown(window);
    EXPECT_EQ(TextOf(window, "TAB file"), "/data/arm.tab");
    EXPECT_EQ(TextOf(window, "ENCODER 6"), "ENCODER 6");
    EXPECT_NE(ButtonNamed(window, In("Cancel", "Annulla")), nullptr);
    QWidget* view = Named(window, "OpenGL");
    EXPECT_FALSE(view->isVisibleTo(&window)) << "reduced without a stored size";
    ButtonNamed(window, "Enlarge")->click();
    EXPECT_TRUE(view->isVisibleTo(&window));
    EXPECT_FALSE(ButtonNamed(window, "Enlarge")->isVisibleTo(&window));
    EXPECT_EQ(GetSettingInt("Options", "ResetResize", -5, Store(kProductStore)), 0u);
    PassMarks({0, 1, 2, 3, 4, 5});
  });
  operator_.RunResetDialog(reset);
  EXPECT_EQ(std::tuple(reset.state(), reset.markMask(), ui_.CountOf(Kind::Beep)),
            std::tuple(ResetProcedure::State::Ok, 0x3Fu, std::size_t{1}));

  ResetProcedure cancelled(*session_, {.tabPath = {}, .temperatureCompensation = true});
  WithNextModal([this](QWidget& window) {
    auto* temperatures = Named<QComboBox>(window, "Ambient temperature");
    EXPECT_EQ(temperatures->currentIndex(), 21);
    temperatures->setCurrentIndex(18);
    emit temperatures->activated(18);
    ButtonNamed(window, In("Cancel", "Annulla"))->click();
  });
  operator_.RunResetDialog(cancelled);
  EXPECT_TRUE(!cancelled.outcome().ok && cancelled.outcome().ambientTemperature == 18);
}

TEST_P(ArmStatusWindowsTest, TemperatureDialogReturnsTheLineChosen) {
  TemperatureChoice choice(21, language());
  WithNextModal([this](QWidget& window) {
    EXPECT_EQ(window.windowTitle(),
              In("Pilvo DLL: Reference mark dialog", "Pilvo DLL: Tacche di riferimento"));
    ExpectNamedAsShown(window);
    EXPECT_EQ(TextOf(window, "Temperature text"),
              In("Insert the ambient temperature", "Inserire la temperatura ambiente"));
    auto* lines = Named<QComboBox>(window, "Ambient temperature");
    EXPECT_EQ(QString::number(lines->count()) + " " + lines->currentText(), "41 21");
    lines->setCurrentIndex(23);
    emit lines->activated(23);
    ButtonNamed(window, "OK")->click();
  });
  operator_.RunTemperatureDialog(choice);
  EXPECT_TRUE(choice.closed() && choice.temperature() == 23);
}

TEST_P(ArmStatusWindowsTest, AlignmentWindowShowsItsVariantAndItsButtonsReachTheModel) {
  ConnectArm();
  AlignmentProcedure table(*session_, AlignmentVariant::RotatingTable, true);
  WithNextModal([this](QWidget& window) {
    EXPECT_EQ(window.windowTitle(), In("Rotanting table reference", "Riferimento tavola rotante"));
    ExpectNamedAsShown(window);
    EXPECT_EQ(TextOf(window, "Instructions"),
              In("Acquire the three reference points", "Acquisire i tre punti di riferimento"));
    EXPECT_EQ(TextOf(window, "Prompt"), In("MEASURE THE POINT 1", "MISURARE IL PUNTO 1"));
    EXPECT_NE(ButtonNamed(window, In("Only arm", "Solo braccio")), nullptr);
    ButtonNamed(window, "Ok")->click();
  });
  operator_.RunAlignmentDialog(table);
  EXPECT_EQ(table.state(), AlignmentProcedure::State::Reused);

  AlignmentProcedure frame(*session_, AlignmentVariant::UserFrame, false);
  WithNextModal([this](QWidget& window) {
    EXPECT_EQ(window.windowTitle(),
              In("Pilvo.dll: Reference dialog", "Pilvo.dll: Terna di riferimento"));
    EXPECT_FALSE(ButtonNamed(window, "Ok")->isVisibleTo(&window));
    ButtonNamed(window, In("Cancel", "Annulla"))->click();
  });
  operator_.RunAlignmentDialog(frame);
  EXPECT_EQ(frame.state(), AlignmentProcedure::State::Cancelled);
}

TEST_P(ArmStatusWindowsTest, LimitsWarningShowsTheJointsOutsideAndKeepsItsControls) {
  ConnectArm();
  operator_.ShowLimitsWarning();
  const auto tops = QApplication::topLevelWidgets();
  const auto found = std::find_if(tops.begin(), tops.end(), [this](QWidget* top) {
    return top->windowTitle() == In("Pilvo3D: Joint limits", "Pilvo3D: Limiti dei giunti");
  });
  ASSERT_NE(found, tops.end());
  QWidget* window = *found;
  EXPECT_TRUE(window->isVisible());
  ExpectNamedAsShown(*window);
  EXPECT_EQ(TextOf(*window, "ENCODER 6"), "ENCODER 6");
  const std::vector<double> radians(6, 0.2);
  operator_.UpdateLimitsWarning(0b100, radians);
  EXPECT_TRUE(Named(*window, "Indicator 3")->isVisibleTo(window));
  EXPECT_FALSE(Named(*window, "Indicator 2")->isVisibleTo(window));

  QAbstractButton* enlarge = ButtonNamed(*window, "Enlarge");
  EXPECT_EQ(enlarge->text(), ">>");
  enlarge->click();
  EXPECT_EQ(enlarge->text() + " " + enlarge->accessibleName(), "<< Reduce");
  EXPECT_TRUE(Named(*window, "OpenGL")->isVisibleTo(window));
  Named<QCheckBox>(*window, "Audio")->click();
  EXPECT_TRUE(Named<QCheckBox>(*window, "Audio")->isChecked());
  EXPECT_EQ(GetSettingInt("Options", "LimitsAudio", -5, Store(kProductStore)), 1u);

  operator_.HideLimitsWarning();
  EXPECT_FALSE(window->isVisible());
  operator_.UpdateLimitsWarning(0b100, radians);
  EXPECT_TRUE(window->isVisible()) << "an update shows it again";
}

INSTANTIATE_TEST_SUITE_P(Languages, ArmStatusWindowsTest, testing::kLanguages,
                         testing::LanguageName);

}  // namespace
}  // namespace pilvo
