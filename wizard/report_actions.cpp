#include "wizard/report_actions.h"

#include <QPrinterInfo>

#include "ui/qt_prompts.h"
#include "wizard/report_pages.h"

namespace pilvo::wizard {
namespace {

constexpr std::string_view kPdfFilter = "PDF Files (*.pdf) | *.pdf||";

CalibrationReportContent ContentOf(ReportFile report, ArmSession& session) {
  ReportSources sources;
  ArmIdentity identity{};
  if (session.board().QueryArmIdentity(identity) == board::kOk) sources.board = identity;
  sources.today = TodayReportDate();
  sources.logo = ReportLogoPath();
  sources.maker = ReadMakerLines(session.profileStore());
  return PrepareCalibrationReport(report, sources);
}

void SaveAsPdf(ArmSession& session, QWidget* parent, const CalibrationReportContent& content) {
  const auto path = ChooseFile(parent, QFileDialog::AcceptSave, kPdfFilter, "pdf", {});
  if (path && SaveCalibrationReportPdf(*path, content)) {
    session.prompts().ShowMessage("_error in PDF file saving", kWizardCaption, MessageIcon::Error);
  }
}

}  // namespace

PointsAcquisitionDialog::ReportActions CalibrationReportActions(ArmSession& session,
                                                                QWidget* parent) {
  return {
      [&session, parent](const ReportFile& report) {
        PreviewCalibrationReport(parent, ContentOf(report, session), session.language());
      },
      [&session, parent](const ReportFile& report) {
        const CalibrationReportContent content = ContentOf(report, session);
        if (QPrinterInfo::availablePrinters().isEmpty()) {
          SaveAsPdf(session, parent, content);
        } else {
          PrintCalibrationReport(parent, content);
        }
      },
  };
}

}  // namespace pilvo::wizard
