// The calibration report's content: the length errors against a hand computation, in the C
// formats under a decimal-comma locale, and the serial number's source.
#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

#include "comma_locale.h"
#include "data/local_text.h"
#include "wizard/model/report_content.h"

namespace pilvo::wizard {
namespace {

ReportPoint At(double x, double y, double z) {
  return {{x, y, z}, {}, {}};
}

// Zone 0 spans x 0..2 and y 0..4: the centre is (1, 2, 0). The bar points lie 100.3, 99.6 and
// 100.1 mm from it: errors +0.3, -0.4, +0.1 against a 100 mm bar, so 2-sigma is
// 2 * sqrt((0.09 + 0.16 + 0.01) / 3) = 0.588784.
ReportFile BallBar() {
  ReportFile report;
  report.language = kGerman;  // printed in English
  report.barLength = 100.0;
  report.zones.push_back({ZoneType::Point, {At(0, 0, 0), At(2, 0, 0), At(1, 4, 0)}});
  report.zones.push_back({ZoneType::Bar, {At(1, 2, 100.3), At(1, 2, -99.6), At(1, 2, 100.1)}});
  report.texts[kSerialNumber] = "typed-7";
  return report;
}

ReportSources PrintedOn(std::string today, std::optional<ArmIdentity> board = std::nullopt) {
  ReportSources sources;
  sources.today = std::move(today);
  sources.board = std::move(board);
  return sources;
}

TEST(ReportContent, LengthErrorsOfTheBarZoneAroundTheCentreOfZoneZero) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  testing::SetCommaLocale();
  ReportFile report = BallBar();
  const CalibrationReportContent content =
      PrepareCalibrationReport(report, PrintedOn("07/03/2026"));
  const std::vector<ReportLine> lines = FirstPageLines(content);
  std::setlocale(LC_ALL, previous.c_str());

  EXPECT_NEAR(content.errors.twoSigma, 0.588784, 1e-6);
  ASSERT_EQ(content.pointErrors.size(), 3U);
  EXPECT_NEAR(content.pointErrors[1], -0.4, 1e-9);
  std::string values;
  for (const ReportLine& line : lines) values += line.value + "|";
  EXPECT_EQ(values,
            "|2|07/03/2026||Pilvo3D measuring arm|Kelmorad S.r.l.|Pilvo3D|typed-7|07/03/2026|"
            "Calibration Bar|100.000 mm|3|min -0.400  max 0.300|0.589|");
  EXPECT_EQ(lines[0].label, "Calibration report");
  // Printing dates the report that is saved afterwards.
  EXPECT_EQ(report.texts[kIssueDate] + report.texts[kMeasuringDate], "07/03/202607/03/2026");

  ReportFile empty;
  EXPECT_EQ(PrepareCalibrationReport(empty, {}).points, 0);
}

TEST(ReportContent, SerialNumberFromTheBoardElseTheTypedText) {
  const auto board = [](std::array<char, 5> identifier) {
    ArmIdentity identity;
    identity.identifier = identifier;
    return identity;
  };
  const struct {
    std::optional<ArmIdentity> board;
    std::string expected;
  } cases[] = {
      {board({'S', 'R', '6', '0', 0}), "SR60"},
      {std::nullopt, "typed-7"},
      {board({'A', 'B', 'C', 'D', 'E'}), "ABCD"},  // no terminator: never past four
  };
  for (const auto& test : cases) {
    ReportFile report = BallBar();
    EXPECT_EQ(PrepareCalibrationReport(report, PrintedOn("", test.board)).serialNumber,
              test.expected);
  }
}

TEST(ReportContent, PlotHalfSpanOnRoundHundredths) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::vector<double> errors;
    double halfSpan;
  } cases[] = {
      {{}, 0.02}, {{0.04, -0.01}, 0.04}, {{-0.041}, 0.06}, {{nan, 0.01}, 0.02}, {{1.37}, 1.38},
  };
  for (const auto& test : cases) {
    EXPECT_NEAR(ErrorPlotHalfSpan(test.errors), test.halfSpan, 1e-12);
  }
}

}  // namespace
}  // namespace pilvo::wizard
