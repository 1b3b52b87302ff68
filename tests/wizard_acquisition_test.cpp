// The points acquisition of the wizard's point and ball-bar calibrations over the in-process
// virtual arm, and the geometry of its plots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "data/number_text.h"
#include "data/settings.h"
#include "session/arm_initialisation.h"
#include "sim_session_fixture.h"
#include "wizard/model/main_window.h"
#include "wizard/model/points_acquisition.h"

namespace pilvo::wizard {
namespace {

using Kind = ScriptedOperator::Request::Kind;

std::string Xyz(const Point3& p, int decimals) {
  return FixedText(p[0], decimals) + ", " + FixedText(p[1], decimals) + ", " +
         FixedText(p[2], decimals);
}

class AcquisitionTest : public testing::SimSessionTest {
 protected:
  // An initialised USB arm, its acquisition and the main window that shows its readings.
  void Open(AcquisitionKind kind) {
    acquisition_ = nullptr;
    window_ = nullptr;
    wire_ = testing::Wire::InProcess;
    Connect(testing::PlainDemoTab("usb6_quaternion"), testing::Link::Usb, Program::Wizard);
    ASSERT_GE(InitialiseArm(*session_, InitialiseMode::Connect), 0);
    window_ = std::make_unique<MainWindow>(
        *session_, context_.language(),
        [](const std::string&, const std::filesystem::path&) { return std::nullopt; },
        folder_ / "log.txt");
    acquisition_ = std::make_unique<PointsAcquisition>(
        *session_, kind,
        [this](const Pose& pose, std::int32_t status) { window_->ShowReading(pose, status); },
        [this] {
          ++saveDialogs_;
          return saveAs_;
        },
        [this](const std::filesystem::path&, const ReportFile& report) {
          written_ = report;
          return writeResult_;
        });
  }
  void StoreBarLength(const std::string& text) {
    ASSERT_TRUE(WriteSettingString("REPORT", "BarLength", text, Store(kProductStore)));
  }
  void TickWith(std::initializer_list<int> buttons) {
    Hold(buttons);
    acquisition_->Tick();
  }
  // A press and release of button 1 with joint 0 at `degrees`.
  void TakeAt(double degrees) {
    ASSERT_TRUE(arm_->SetJointAngle(0, degrees));
    TickWith({1});
    TickWith({});
  }
  const std::vector<ReportPoint>& points() const { return acquisition_->zone().points; }
  const AcquisitionDisplay& shown() const { return acquisition_->display(); }
  std::string LastMessage() const {
    for (auto request = ui_.requests().rbegin(); request != ui_.requests().rend(); ++request) {
      if (request->kind == Kind::Message) return request->text + " | " + request->caption;
    }
    return "";
  }

  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<PointsAcquisition> acquisition_;
  int saveDialogs_ = 0;
  std::optional<std::filesystem::path> saveAs_;
  std::optional<ReportFile> written_;
  ReportError writeResult_ = ReportError::None;
};

TEST_F(AcquisitionTest, HeldButtonTakesOnePointWithTheReadingAndButtonTwoDropsTheLast) {
  for (const bool sensors : {true, false}) {
    SCOPED_TRACE(sensors ? "sensors" : "ambient");
    Open(AcquisitionKind::Point);
    ASSERT_TRUE(arm_->SetTemperatures({20.5, 22.25, 30.0}));
    state().working.temperatureSensors = sensors ? 1 : 0;
    state().working.ambientTemperature = 23;
    EXPECT_EQ(shown().instruction, "Acquire zone 1/1 (POINT type)");
    for (int tick = 0; tick < 3; ++tick) TickWith({1});
    ASSERT_EQ(points().size(), 1u);
    const ReportPoint& point = points()[0];
    EXPECT_EQ(window_->display().position[2], FixedText(point.position[2], 3));
    EXPECT_EQ(shown().pointLines.back(), "1:  " + Xyz(point.position, 3));
    std::array<double, kMaxJoints> counts{};
    ASSERT_EQ(session_->ReadJointCounts(counts), 0);
    EXPECT_EQ(point.jointCounts, counts);
    const auto expected = sensors ? std::array{20.5, 22.25, 30.0} : std::array{23.0, 23.0, 23.0};
    for (int sensor = 0; sensor < 3; ++sensor) {
      EXPECT_NEAR(point.temperatures[sensor], expected[sensor], 0.1);
    }
    // Points at one pose have no range: nothing is drawn.
    for (const auto buttons : {std::initializer_list<int>{}, {1}, {}}) TickWith(buttons);
    for (std::size_t plot = 0; plot < 3; ++plot) {
      EXPECT_FALSE(acquisition_->Plot(plot, {200, 100}).drawn);
    }
    TakeAt(20.0);
    EXPECT_TRUE(acquisition_->Plot(0, {200, 100}).drawn || acquisition_->Plot(1, {200, 100}).drawn);

    for (int press = 0; press < 4; ++press) {  // three points, then an empty list
      TickWith({2});
      TickWith({});
    }
    EXPECT_TRUE(shown().pointLines.empty());
    EXPECT_EQ(ui_.CountOf(Kind::Beep), 6u) << "three points taken and dropped";
    ui_.Clear();
  }
}

TEST_F(AcquisitionTest, BallBarCentreIsTheMidRangeOfThePointZoneAndReportsNeedBarPoints) {
  for (const std::vector<double>& angles : {std::vector{10.0}, std::vector{-30.0, 15.0, 40.0}}) {
    StoreBarLength("250");
    Open(AcquisitionKind::BallBar);
    for (const double degrees : angles) TakeAt(degrees);
    EXPECT_FALSE(shown().reportButtons) << "points of the point zone make no report";
    Point3 centre{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const auto [low, high] = std::minmax_element(
          points().begin(), points().end(),
          [axis](const auto& a, const auto& b) { return a.position[axis] < b.position[axis]; });
      centre[axis] = (low->position[axis] + high->position[axis]) / 2;
    }
    EXPECT_EQ(acquisition_->centre(), centre);

    acquisition_->Next();
    EXPECT_EQ(shown().instruction, "Acquire zone 2/2 (BAR type)");
    EXPECT_EQ(shown().plotLabels, std::vector<std::string>{"Distance"});
    EXPECT_TRUE(shown().barLengthShown && shown().pointLines.empty() && !shown().reportButtons);
    EXPECT_FALSE(acquisition_->ReportForPages(false, 0));
    EXPECT_EQ(LastMessage(), "Points not acquired | Acquisition");
    ASSERT_TRUE(arm_->SetJointAngle(1, 30.0));
    TakeAt(0.0);
    const Point3& p = points()[0].position;
    const double distance = std::hypot(centre[0] - p[0], centre[1] - p[1], centre[2] - p[2]);
    EXPECT_EQ(shown().pointLines.back(), "1:  " + Xyz(p, 2) + " (" + FixedText(distance, 3) + ")");
    EXPECT_TRUE(shown().reportButtons);
    EXPECT_EQ(acquisition_->centre(), centre) << "the bar zone keeps the point zone's centre";

    acquisition_->SetReportText(kCustomer, "Kelmorad\nTest lab");
    acquisition_->SetReportText(kNotes, "");
    const std::time_t noonUtc = 1700049600;  // 15 November 2023 in every time zone within 11 h
    const auto report = acquisition_->ReportForPages(true, noonUtc);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->texts, (std::array<std::string, kReportTexts>{
                                 "Kelmorad Test lab", "?", "15/11/2023", "15/11/2023", "?", "?"}));
    EXPECT_EQ(report->zones[0].points.size(), angles.size());
    EXPECT_EQ(report->barLength, 250.0);
  }
}

TEST_F(AcquisitionTest, BarLengthBelowOneMillimetreIsAskedForWhenTheBarZoneStarts) {
  const std::vector<std::pair<std::string, bool>> stored{
      {"0.0", true}, {"0.999", true}, {"1.0", false}, {"12,5", true}, {"250.5", false}};
  for (const auto& [text, asked] : stored) {
    SCOPED_TRACE(text);
    StoreBarLength(text);
    Open(AcquisitionKind::BallBar);
    TakeAt(0.0);
    ui_.Clear();
    acquisition_->Next();
    EXPECT_EQ(LastMessage(), asked ? "_Insert the bar length | PilvoWizard" : "");
  }
  // A typed text that is no length keeps the last one, and "»" says so.
  acquisition_->EditBarLength("300,5");
  EXPECT_TRUE(shown().acceptBarLengthShown);
  EXPECT_EQ(acquisition_->barLength(), 250.5);
  acquisition_->AcceptBarLength();
  EXPECT_FALSE(shown().acceptBarLengthShown);
  EXPECT_NE(LastMessage().find("dot (.)"), std::string::npos);
  acquisition_->EditBarLength("300.25");
  EXPECT_EQ(acquisition_->barLength(), 300.25);
  EXPECT_TRUE(acquisition_->Cancel());
  EXPECT_EQ(GetSettingString("REPORT", "BarLength", "", Store(kProductStore)), "300.250000");
}

TEST_F(AcquisitionTest, ZoneRefusesAPointBeyondAThousand) {
  Open(AcquisitionKind::Point);
  for (int point = 0; point < kMaxZonePoints; ++point) TakeAt(0.0);
  TickWith({1});
  EXPECT_EQ(points().size(), 1000u);
  EXPECT_EQ(shown().pointLines.size(), 1000u);
  EXPECT_EQ(LastMessage(), "A zone holds at most 1000 points: point not taken. | PilvoWizard");
}

TEST_F(AcquisitionTest, CancelledSaveKeepsEveryPointAndNextOffersItAgain) {
  Open(AcquisitionKind::Point);
  acquisition_->Next();
  EXPECT_EQ(LastMessage(), "Points not acquired | Acquisition");
  EXPECT_EQ(saveDialogs_, 0);
  TakeAt(0.0);
  TakeAt(10.0);

  acquisition_->Next();  // the save dialog is cancelled
  EXPECT_EQ(saveDialogs_, 1);
  EXPECT_TRUE(acquisition_->end() == AcquisitionEnd::Running && !acquisition_->ticking());
  TakeAt(20.0);
  EXPECT_EQ(points().size(), 2u) << "the arm is not read after the save dialog";

  saveAs_ = folder_ / "test.rep";
  writeResult_ = ReportError::FileError;
  acquisition_->Next();
  EXPECT_EQ(saveDialogs_, 2);
  EXPECT_EQ(LastMessage(), "Errore in Salva REP | PilvoWizard");
  EXPECT_EQ(acquisition_->end(), AcquisitionEnd::Running);

  writeResult_ = ReportError::None;
  acquisition_->Next();
  EXPECT_EQ(acquisition_->end(), AcquisitionEnd::Saved);
  ASSERT_TRUE(written_ && written_->zones.size() == 1u);
  EXPECT_EQ(written_->zones[0].type, ZoneType::Point);
  EXPECT_EQ(written_->zones[0].points.size(), 2u);
  EXPECT_EQ(written_->texts[kCustomer], "?");
  EXPECT_EQ(written_->tab.main.name, state().tab.main.name);
  EXPECT_EQ(GetSettingString("REPORT", "BarLength", "", Store(kProductStore)), "0.000000");
}

TEST_F(AcquisitionTest, CancelAndAFailedReadingAskBeforeDroppingPoints) {
  Open(AcquisitionKind::Point);
  TakeAt(0.0);
  EXPECT_FALSE(acquisition_->Cancel()) << "No";
  arm_->InjectFault(sim::Fault::Silence, sim::kUntilCleared);
  acquisition_->Tick();
  EXPECT_EQ(acquisition_->end(), AcquisitionEnd::Running) << "No again: the points stay";
  ui_.ScriptAnswer(true);
  acquisition_->Tick();
  EXPECT_EQ(acquisition_->end(), AcquisitionEnd::Cancelled);
  EXPECT_TRUE(acquisition_->readingFailed());
  EXPECT_EQ(ui_.CountOf(Kind::YesNo), 3u);
}

TEST_F(AcquisitionTest, JointOutsideItsLimitsBlocksPoints) {
  Open(AcquisitionKind::Point);
  ASSERT_TRUE(arm_->SetJointAngle(1, 125.0));  // joint 1 is within -118 .. 118
  TickWith({1});
  TickWith({1});
  EXPECT_TRUE(points().empty() && shown().limitIcon);
  EXPECT_EQ(window_->display().limitIcons, 2u);
  EXPECT_EQ(ui_.CountOf(Kind::Beep), 2u);
  ASSERT_TRUE(arm_->SetJointAngle(1, 0.0));
  TickWith({1});
  EXPECT_TRUE(points().empty()) << "the press made outside the limits is spent";
  EXPECT_FALSE(shown().limitIcon);
  TickWith({});
  TickWith({1});
  EXPECT_EQ(points().size(), 1u);
}

TEST(AcquisitionResultsTest, LengthErrorsAgainstAHandComputation) {
  const std::vector<ReportPoint> points{
      {{100.1, 0.0, 0.0}, {}, {}}, {{0.0, 99.8, 0.0}, {}, {}}, {{0.0, 0.0, -100.25}, {}, {}}};
  const LengthErrors errors = LengthErrorsOf(points, {0.0, 0.0, 0.0}, 100.0);
  EXPECT_NEAR(errors.minimum, -0.2, 1e-12);
  EXPECT_NEAR(errors.maximum, 0.25, 1e-12);
  EXPECT_NEAR(errors.twoSigma, 2.0 * std::sqrt((0.01 + 0.04 + 0.0625) / 3.0), 1e-12);

  // Half the 100 px plot stands for the larger deviation, 0.25 mm.
  const PlotGeometry plot =
      DistancePlot(points, {0.0, 0.0, 0.0}, 100.0, DistanceRanges(points, {}), {300, 100});
  ASSERT_TRUE(plot.drawn && !plot.wide);
  EXPECT_EQ(plot.topLabel + " " + plot.bottomLabel, "0.250 -0.200");
  EXPECT_NEAR(plot.line[2].y, 0.0, 1e-9);
  EXPECT_NEAR(plot.line[1].y, 90.0, 1e-9);
  EXPECT_EQ(plot.line[2].x, 300.0);
  EXPECT_EQ(plot.gridYs.size(), 4u) << "0.1 and 0.2 mm either side";
}

TEST(AcquisitionPlotsTest, AxisPlotFillsThePlotWithTheRange) {
  const struct {
    std::vector<double> x;
    bool drawn;
    bool wide;
    std::size_t gridLines;
    std::string top;
  } cases[] = {
      {{5.0}, false, false, 0, ""},
      {{5.0, 5.0, 5.0}, false, false, 0, ""},
      {{5.0, 5.5}, true, false, 4, "0.250"},  // 0.1 and 0.2 mm either side of 5.25
      {{-1.0, 1.25, 0.0}, true, true, 22, "1.125"},
      {{0.0, 1000.0}, true, true, 0, "500.000"},  // grid lines would be 0.01 px apart
  };
  for (const auto& c : cases) {
    std::vector<ReportPoint> points(c.x.size());
    for (std::size_t i = 0; i < c.x.size(); ++i) points[i].position = {c.x[i], 0.0, 0.0};
    const PlotGeometry plot = AxisPlot(points, 0, RangesOf(points), {200, 100});
    SCOPED_TRACE(c.top);
    EXPECT_EQ(std::tuple(plot.drawn, plot.wide, plot.gridYs.size(), plot.topLabel),
              std::tuple(c.drawn, c.wide, c.gridLines, c.top));
    if (!c.drawn) continue;
    const auto [low, high] = std::minmax_element(c.x.begin(), c.x.end());
    EXPECT_EQ(plot.bottomLabel, "-" + c.top);
    EXPECT_NEAR(plot.line[low - c.x.begin()].y, 100.0, 1e-9);
    EXPECT_NEAR(plot.line[high - c.x.begin()].y, 0.0, 1e-9);
    EXPECT_EQ(plot.centreY, 50.0);
  }
}

}  // namespace
}  // namespace pilvo::wizard
