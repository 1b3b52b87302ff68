// What the two pages of a ball-bar calibration report show, gathered from an acquisition at the
// time it is previewed or printed.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/report_file.h"
#include "data/settings.h"
#include "link/reply_decoding.h"
#include "wizard/model/acquisition_results.h"

namespace pilvo::wizard {

// The free report texts: typed in the report options, or set when the report is printed.
enum ReportText {
  kCustomer = 0,
  kOperator = 1,
  kIssueDate = 2,
  kMeasuringDate = 3,
  kNotes = 4,
  kSerialNumber = 5
};

struct CalibrationReportContent {
  bool italian = false;  // the acquisition's language is Italian; English otherwise
  std::string issueDate;
  std::string measuringDate;
  std::string serialNumber;  // the board's, queried when printing, else the typed one
  double barLength = 0.0;
  int points = 0;  // of the bar zone
  LengthErrors errors;
  std::vector<double> pointErrors;  // distance - nominal length of every point, in order
  std::filesystem::path logo;       // "logo.bmp" in the program's folder
  std::string makerAddress;
  std::string makerContact;
};

// The footer of page 1: configuration text of the wizard's profile, section "REPORT", keys
// "MakerAddress" and "MakerContact", with the maker's own lines when they are missing.
struct MakerLines {
  std::string address;
  std::string contact;
};
MakerLines ReadMakerLines(const SettingsStore& profile);

// The report's dates: "%d/%m/%Y".
std::string ReportDate(const std::tm& day);
std::string TodayReportDate();

// What a report takes from outside the acquisition when it is printed.
struct ReportSources {
  std::optional<ArmIdentity> board;  // when the identity query succeeded
  std::string today;                 // ReportDate of today
  std::filesystem::path logo;
  MakerLines maker;
};

// Printing a report dates it: texts 2 and 3 of `report` (issue and measuring date) become
// `sources.today`, so that the report file saved afterwards records them. The centre is the
// mid-range of zone 0 and the bar zone the last one, the zone being acquired.
CalibrationReportContent PrepareCalibrationReport(ReportFile& report, const ReportSources& sources);

// The fixed texts of the printed report: Italian or English, never from the string table.
struct ReportLabels {
  std::string_view title;
  std::string_view pages;
  std::string_view issueDate;
  std::string_view reference;
  std::string_view object;
  std::string_view objectValue;
  std::string_view builder;
  std::string_view model;
  std::string_view serialNumber;
  std::string_view measuringDate;
  std::string_view samples;
  std::string_view samplesValue;
  std::string_view barLength;
  std::string_view points;
  std::string_view error;
  std::string_view twoSigma;
  std::string_view lengthTitle;  // page 2
};
const ReportLabels& LabelsOf(const CalibrationReportContent& content);

inline constexpr std::string_view kFirstPageHeader = "1/2";
inline constexpr std::string_view kSecondPageHeader = "2/2";
inline constexpr std::string_view kMissingLogoText = "Logo.bmp";
inline constexpr std::string_view kReportLogoName = "logo.bmp";

// One line of page 1, top to bottom; the logo and the footer follow them.
struct ReportLine {
  enum class Kind { Title, Section, Item };
  Kind kind = Kind::Item;
  std::string label;
  std::string value;  // empty for a title or a section
};
std::vector<ReportLine> FirstPageLines(const CalibrationReportContent& content);

// The vertical half-span of the error plot of page 2, in mm: the largest error rounded up to
// 0.02 mm (at least 0.02), so that the reference lines at half of it and at all of it fall on
// round hundredths. Errors that are not numbers are left out.
double ErrorPlotHalfSpan(std::span<const double> errors);
// The labels of the reference lines at +level and -level.
std::string UpperReferenceLabel(double level);
std::string LowerReferenceLabel(double level);

}  // namespace pilvo::wizard
