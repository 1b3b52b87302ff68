// What the two pages of a ball-bar calibration report show, gathered from an acquisition at the
// time it is previewed or printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "data/report_file.h"
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

}  // namespace pilvo::wizard
