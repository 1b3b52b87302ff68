#include "wizard/model/report_content.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/local_text.h"
#include "data/number_text.h"

namespace pilvo::wizard {
namespace {

constexpr std::string_view kReportSection = "REPORT";
constexpr std::string_view kDefaultMakerAddress =
    "Kelmorad S.r.l. - Via dell'Industria 12 - 10100 Torino (TO) - Italia";
constexpr std::string_view kDefaultMakerContact = "Tel. +39 011 0000000 - info@kelmorad.example";
constexpr std::string_view kBuilder = "Kelmorad S.r.l.";
constexpr std::string_view kModel = "Pilvo3D";
constexpr std::string_view kPageCount = "2";

constexpr ReportLabels kItalianLabels{
    .title = "Report di calibrazione",
    .pages = "- Numero di pagine: ",
    .issueDate = "- Data di emissione: ",
    .reference = "Riferimento",
    .object = "- Oggetto: ",
    .objectValue = "Braccio di misura Pilvo3D",
    .builder = "- Costruttore:",
    .model = "- Modello: ",
    .serialNumber = "- Matricola: ",
    .measuringDate = "- Data delle misure: ",
    .samples = "- Campioni impiegati: ",
    .samplesValue = "Asta di calibrazione",
    .barLength = "- Lunghezza nominale asta: ",
    .points = "- Numero punti: ",
    .error = "- Errore: ",
    .twoSigma = "- Errore 2sigma: ",
    .lengthTitle = "Misura di lunghezza nel volume di lavoro",
};

constexpr ReportLabels kEnglishLabels{
    .title = "Calibration report",
    .pages = "- Pages: ",
    .issueDate = "- Date of issue: ",
    .reference = "Reference",
    .object = "- Object: ",
    .objectValue = "Pilvo3D measuring arm",
    .builder = "- Builder:",
    .model = "- Model: ",
    .serialNumber = "- Serial number: ",
    .measuringDate = "- Measuring date: ",
    .samples = "- Samples used: ",
    .samplesValue = "Calibration Bar",
    .barLength = "- Nominal bar length: ",
    .points = "- Points number: ",
    .error = "- Error: ",
    .twoSigma = "- 2sigma error: ",
    .lengthTitle = "Length Measure in workspace",
};

constexpr double kPlotStep = 0.02;  // mm

std::string SerialNumberOf(const ReportFile& report, const std::optional<ArmIdentity>& board) {
  if (!board) return report.texts[kSerialNumber];
  const auto& identifier = board->identifier;
  return {identifier.data(), strnlen(identifier.data(), identifier.size() - 1)};
}

}  // namespace

MakerLines ReadMakerLines(const SettingsStore& profile) {
  return {GetSettingString(kReportSection, "MakerAddress", kDefaultMakerAddress, profile),
          GetSettingString(kReportSection, "MakerContact", kDefaultMakerContact, profile)};
}

std::string ReportDate(const std::tm& day) {
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%d/%m/%Y", &day);
  return {text, length};
}

std::string TodayReportDate() {
  const std::time_t now = std::time(nullptr);
  std::tm day{};
  localtime_r(&now, &day);
  return ReportDate(day);
}

CalibrationReportContent PrepareCalibrationReport(ReportFile& report,
                                                  const ReportSources& sources) {
  report.texts[kIssueDate] = sources.today;
  report.texts[kMeasuringDate] = sources.today;

  CalibrationReportContent content;
  content.italian = report.language == kItalian;
  content.issueDate = sources.today;
  content.measuringDate = sources.today;
  content.serialNumber = SerialNumberOf(report, sources.board);
  content.barLength = report.barLength;
  content.logo = sources.logo;
  content.makerAddress = sources.maker.address;
  content.makerContact = sources.maker.contact;
  if (report.zones.empty()) return content;

  const Point3 centre = CentreOf(RangesOf(report.zones.front().points));
  const std::vector<ReportPoint>& bar = report.zones.back().points;
  content.points = static_cast<int>(bar.size());
  content.errors = LengthErrorsOf(bar, centre, report.barLength);
  content.pointErrors = PointLengthErrors(bar, centre, report.barLength);
  return content;
}

const ReportLabels& LabelsOf(const CalibrationReportContent& content) {
  return content.italian ? kItalianLabels : kEnglishLabels;
}

std::vector<ReportLine> FirstPageLines(const CalibrationReportContent& content) {
  using Kind = ReportLine::Kind;
  const ReportLabels& labels = LabelsOf(content);
  const auto item = [](std::string_view label, std::string value) {
    return ReportLine{Kind::Item, std::string(label), std::move(value)};
  };
  return {
      {Kind::Title, std::string(labels.title), {}},
      item(labels.pages, std::string(kPageCount)),
      item(labels.issueDate, content.issueDate),
      {Kind::Section, std::string(labels.reference), {}},
      item(labels.object, std::string(labels.objectValue)),
      item(labels.builder, std::string(kBuilder)),
      item(labels.model, std::string(kModel)),
      item(labels.serialNumber, content.serialNumber),
      item(labels.measuringDate, content.measuringDate),
      item(labels.samples, std::string(labels.samplesValue)),
      item(labels.barLength, FixedText(content.barLength, 3) + " mm"),
      item(labels.points, std::to_string(content.points)),
      item(labels.error, "min " + FixedText(content.errors.minimum, 3) + "  max " +
                             FixedText(content.errors.maximum, 3)),
      item(labels.twoSigma, FixedText(content.errors.twoSigma, 3)),
  };
}

double ErrorPlotHalfSpan(std::span<const double> errors) {
  double largest = 0.0;
  for (double error : errors) {
    if (std::isfinite(error)) largest = std::max(largest, std::abs(error));
  }
  // The tolerance keeps an error already on a step (0.14 / 0.02 = 7.000000000000001) there.
  return std::max(kPlotStep, std::ceil(largest / kPlotStep - 1e-9) * kPlotStep);
}

std::string UpperReferenceLabel(double level) {
  return "+" + FixedText(level, 2);
}

std::string LowerReferenceLabel(double level) {
  return "-" + FixedText(level, 2);
}

}  // namespace pilvo::wizard
